// A worker thread object: Start runs Execute on a new thread; with
// free-on-terminate set the object deletes itself when Execute returns.
#pragma once

#include <windows.h>

#include "common/handles.h"

namespace velmora::ui {

class Thread {
 public:
  Thread() = default;
  virtual ~Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  void SetFreeOnTerminate(bool value) { free_on_terminate_ = value; }
  // Starts the thread; raises ReportError when it cannot be created. The
  // handle lets the owner wait for the thread even after the object freed itself.
  UniqueHandle Start();

 protected:
  virtual void Execute() = 0;

 private:
  static DWORD WINAPI ThreadMain(void* self);
  bool free_on_terminate_ = false;
};

}  // namespace velmora::ui
