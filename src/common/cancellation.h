// Stopping a running report early: the window asks for it when the user
// closes it during a run, and the report's long steps look at it, end what
// they started and unwind through their clean-up guards.
#pragma once

#include <windows.h>

#include <exception>

namespace velmora {

class ReportCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "the report was cancelled"; }
};

void RequestCancellation();
// Before a new run starts.
void ClearCancellation();
bool CancellationRequested();
// Raises ReportCancelled once cancellation has been asked for.
void ThrowIfCancelled();
// Signalled from the moment cancellation is asked for, for waits that should
// end early; stays valid for the life of the process.
HANDLE CancellationEvent();

}  // namespace velmora
