#include "ui/thread.h"

#include "common/errors.h"
#include "common/handles.h"

namespace velmora::ui {

UniqueHandle Thread::Start() {
  UniqueHandle thread(::CreateThread(nullptr, 0, &Thread::ThreadMain, this, 0, nullptr));
  if (!thread) ThrowLastError("cannot start thread");
  return thread;
}

DWORD WINAPI Thread::ThreadMain(void* self) {
  auto* thread = static_cast<Thread*>(self);
  try {
    thread->Execute();
  } catch (...) {
    // Execute guards its own work; nothing may escape a thread.
  }
  if (thread->free_on_terminate_) delete thread;
  return 0;
}

}  // namespace velmora::ui
