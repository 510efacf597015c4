#include "environment/app_frame.h"

#include <shlobj.h>

#include "common/handles.h"
#include "common/registry_value.h"
#include "environment/accounts.h"
#include "environment/folders.h"
#include "environment/windows_version.h"

namespace velmora {

std::unique_ptr<const TAppFrame> AppFrame;

namespace {

constexpr wchar_t kShellFoldersKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

int CsidlOf(bool common) {
  return common ? CSIDL_COMMON_APPDATA : CSIDL_APPDATA;
}

std::wstring ExistingFolderOrEmpty(const std::wstring& folder) {
  return !folder.empty() && FolderExists(folder) ? folder : std::wstring();
}

std::wstring AppDataFolder(bool common) {
  const std::wstring folder = GetSpecialFolder(CsidlOf(common));
  return folder.empty() ? FindAppDataFolder(common) : folder;
}

}  // namespace

TAppFrame::TAppFrame() {
  common_app_data_dir_ = AppDataFolder(true);
  app_data_dir_ = AppDataFolder(false);
}

std::wstring TAppFrame::GetFolder(int kind) {
  switch (kind) {
    case kWindowsFolder:
      return GetWindowsDir();
    case kSystemFolder:
      return GetSystemDir();
    case kStartupFolder:
      return GetSpecialFolder(CSIDL_STARTUP);
    default:
      return {};
  }
}

std::wstring ReadShellFoldersValue(bool common) {
  UniqueRegKey key;
  if (::RegOpenKeyExW(common ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kShellFoldersKey, 0,
                      KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
    return {};
  }
  return ReadRegistryText(key.get(), common ? L"Common AppData" : L"AppData");
}

std::wstring UsualAppDataPath(bool common, DWORD windows_major, const std::wstring& drive,
                              const std::wstring& user) {
  if (windows_major >= 6) {
    return common ? drive + L"\\ProgramData" : drive + L"\\Users\\" + user + L"\\AppData\\Roaming";
  }
  return common ? drive + L"\\Documents and Settings\\All Users\\Application Data"
                : drive + L"\\Documents and Settings\\" + user + L"\\Application Data";
}

std::wstring FindAppDataFolder(bool common) {
  std::wstring folder = ExistingFolderOrEmpty(GetSpecialFolder(CsidlOf(common)));
  if (folder.empty()) folder = ExistingFolderOrEmpty(ReadShellFoldersValue(common));
  if (!folder.empty()) return folder;
  return ExistingFolderOrEmpty(UsualAppDataPath(common, GetWindowsVersion().dwMajorVersion,
                                                GetWindowsDrive(), GetCurrentUserName()));
}

}  // namespace velmora
