#include "common/cancellation.h"

namespace velmora {

namespace {

// Made before any thread of the program exists; lives as long as the process.
const HANDLE g_cancelled = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

}  // namespace

void RequestCancellation() {
  ::SetEvent(g_cancelled);
}

void ClearCancellation() {
  ::ResetEvent(g_cancelled);
}

bool CancellationRequested() {
  return ::WaitForSingleObject(g_cancelled, 0) == WAIT_OBJECT_0;
}

void ThrowIfCancelled() {
  if (CancellationRequested()) throw ReportCancelled();
}

HANDLE CancellationEvent() {
  return g_cancelled;
}

}  // namespace velmora
