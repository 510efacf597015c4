// The product's application-data folders, found once when the program starts,
// and a few system folders by kind.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace velmora {

// Kinds of GetFolder.
inline constexpr int kWindowsFolder = 0;
inline constexpr int kSystemFolder = 1;
inline constexpr int kStartupFolder = 10;

class TAppFrame {
 public:
  // Finds both folders at once; never fails (a folder that cannot be found stays empty).
  TAppFrame();

  // The roaming application-data folder of the account the program runs as.
  const std::wstring& AppDataDir() const { return app_data_dir_; }
  // The application-data folder shared by all users.
  const std::wstring& CommonAppDataDir() const { return common_app_data_dir_; }

  // The Windows, system or Startup folder; empty for any other kind.
  static std::wstring GetFolder(int kind);

 private:
  std::wstring app_data_dir_;
  std::wstring common_app_data_dir_;
};

// The one TAppFrame of the process, made at start-up before the window exists.
extern std::unique_ptr<const TAppFrame> AppFrame;

// The links of the chain that the constructor falls back on when the shell does
// not name a folder: the shell once more, the "Shell Folders" registry value,
// then the folder's usual place on the Windows drive. Each answer counts only
// when the folder exists; empty when none does.
std::wstring FindAppDataFolder(bool common);
// "Common AppData" of the machine or "AppData" of the user; empty when unreadable.
std::wstring ReadShellFoldersValue(bool common);
// The usual place: ProgramData and Users\<user>\AppData\Roaming from Windows
// Vista on, the Documents and Settings folders before.
std::wstring UsualAppDataPath(bool common, DWORD windows_major, const std::wstring& drive,
                              const std::wstring& user);

}  // namespace velmora
