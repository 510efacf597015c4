#include "app/app_state.h"

namespace velmora {

std::wstring ArchivePath;
std::wstring ProductInstallPath;
HWND MainWindowHandle = nullptr;

}  // namespace velmora
