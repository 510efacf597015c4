// Millisecond intervals from GetTickCount, which every Windows has. The counter
// wraps after 49.7 days; differences of unsigned 32-bit values stay right across
// the wrap as long as the interval itself is shorter than that.
#pragma once

#include <windows.h>

namespace velmora {

// Milliseconds from `start` to `now`, both GetTickCount readings.
inline DWORD TicksBetween(DWORD start, DWORD now) {
  return now - start;
}

// A time limit that started when it was made.
class TickDeadline {
 public:
  explicit TickDeadline(DWORD limit_ms) : start_(::GetTickCount()), limit_(limit_ms) {}
  bool Passed() const { return TicksBetween(start_, ::GetTickCount()) >= limit_; }
  // Milliseconds left, 0 once the limit has passed.
  DWORD Remaining() const {
    const DWORD elapsed = TicksBetween(start_, ::GetTickCount());
    return elapsed >= limit_ ? 0 : limit_ - elapsed;
  }

 private:
  DWORD start_;
  DWORD limit_;
};

}  // namespace velmora
