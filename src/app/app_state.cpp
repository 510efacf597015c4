#include "app/app_state.h"

namespace velmora {

std::wstring ArchivePath;
HWND MainWindowHandle = nullptr;
std::wstring ReportFailureCause;

}  // namespace velmora
