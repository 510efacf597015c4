#include "app/app_state.h"

namespace velmora {

std::wstring ArchivePath;
std::wstring ProductInstallPath;
std::unique_ptr<const TAppFrame> AppFrame;
HWND MainWindowHandle = nullptr;

}  // namespace velmora
