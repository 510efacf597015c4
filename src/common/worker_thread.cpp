#include "common/worker_thread.h"

#include <process.h>

#include <utility>

namespace velmora {

WorkerThread::~WorkerThread() {
  try {
    Join();
  } catch (...) {
    // The owner did not join, so it did not want the failure either.
  }
}

bool WorkerThread::Start(std::function<void()> work) {
  Join();
  work_ = std::move(work);
  error_ = nullptr;
  const uintptr_t handle =
      ::_beginthreadex(nullptr, 0, &WorkerThread::ThreadMain, this, 0, nullptr);
  handle_.reset(reinterpret_cast<HANDLE>(handle));
  return handle_.valid();
}

void WorkerThread::Join() {
  if (!handle_.valid()) return;
  ::WaitForSingleObject(handle_.get(), INFINITE);
  handle_.reset();
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

unsigned __stdcall WorkerThread::ThreadMain(void* self) {
  auto* thread = static_cast<WorkerThread*>(self);
  try {
    thread->work_();
  } catch (...) {
    thread->error_ = std::current_exception();
  }
  return 0;
}

unsigned ProcessorCount() {
  SYSTEM_INFO info = {};
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

}  // namespace velmora
