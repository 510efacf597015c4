#include "common/errors.h"

namespace velmora {

void ThrowLastError(const std::string& what) {
  const DWORD code = ::GetLastError();
  throw ReportError(what + " (error " + std::to_string(code) + ")", code);
}

}  // namespace velmora
