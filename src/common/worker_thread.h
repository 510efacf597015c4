// A join-able worker thread over _beginthreadex. What the work throws is kept
// and raised again in the thread that joins, so a failure on a helper thread
// reaches the code that waits for it instead of ending the process.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <utility>

#include "common/handles.h"

namespace velmora {

class WorkerThread {
 public:
  WorkerThread() = default;
  // Waits for a thread that is still running: the work may use the owner's data.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs `work` on a new thread. False when no thread could be created (the
  // caller decides how to go on without it).
  bool Start(std::function<void()> work);
  // Waits until the work has ended; raises what it threw. Does nothing when
  // the thread never started or was joined before.
  void Join();
  bool Running() const { return handle_.valid(); }

 private:
  static unsigned __stdcall ThreadMain(void* self);

  std::function<void()> work_;
  std::exception_ptr error_;
  UniqueHandle handle_;
};

// Starts `work` on `thread`; the ordinary way to start a helper.
inline bool StartWorker(WorkerThread& thread, std::function<void()> work) {
  return thread.Start(std::move(work));
}

// How many processors the system has (at least 1).
unsigned ProcessorCount();

}  // namespace velmora
