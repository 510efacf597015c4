// The failure type of the report run: raised by operations whose failure ends a
// run, caught by the job's failure guard.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace velmora {

class ReportError : public std::runtime_error {
 public:
  ReportError(const std::string& what, DWORD code) : std::runtime_error(what), code_(code) {}
  DWORD code() const { return code_; }

 private:
  DWORD code_;
};

// Raises a ReportError carrying GetLastError().
[[noreturn]] void ThrowLastError(const std::string& what);

}  // namespace velmora
