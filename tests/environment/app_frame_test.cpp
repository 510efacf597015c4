#include "environment/app_frame.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include "common/handles.h"
#include "common/registry_value.h"
#include "environment/accounts.h"
#include "environment/folders.h"
#include "support/test_support.h"

namespace velmora {
namespace {

constexpr wchar_t kExplorer[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

TEST(AppFrame, FoldersOfThisMachine) {
  const TAppFrame frame;
  EXPECT_EQ(frame.AppDataDir(), GetSpecialFolder(CSIDL_APPDATA));
  EXPECT_FALSE(frame.AppDataDir().empty());
  EXPECT_NE(frame.AppDataDir().back(), L'\\');
  EXPECT_TRUE(FolderExists(frame.AppDataDir()));
  EXPECT_EQ(frame.CommonAppDataDir(), GetWindowsDrive() + L"\\ProgramData");
}

TEST(AppFrame, FoldersByKind) {
  EXPECT_EQ(TAppFrame::GetFolder(kWindowsFolder), GetWindowsDir());
  EXPECT_EQ(TAppFrame::GetFolder(kSystemFolder), GetSystemDir());
  const std::wstring startup = TAppFrame::GetFolder(kStartupFolder);
  EXPECT_EQ(startup, GetSpecialFolder(CSIDL_STARTUP));
  EXPECT_NE(startup.find(L"Start"), std::wstring::npos) << startup;
  EXPECT_EQ(TAppFrame::GetFolder(2), L"");
  EXPECT_EQ(TAppFrame::GetFolder(-1), L"");
}

TEST(AppFrame, UsualPlacesByWindowsVersion) {
  EXPECT_EQ(UsualAppDataPath(true, 6, L"D:", L"ann"), L"D:\\ProgramData");
  EXPECT_EQ(UsualAppDataPath(false, 10, L"D:", L"ann"), L"D:\\Users\\ann\\AppData\\Roaming");
  EXPECT_EQ(UsualAppDataPath(true, 5, L"C:", L"ann"),
            L"C:\\Documents and Settings\\All Users\\Application Data");
  EXPECT_EQ(UsualAppDataPath(false, 5, L"C:", L"ann"),
            L"C:\\Documents and Settings\\ann\\Application Data");
}

// Sets one value for the length of a test and puts the old one back.
class ValueOverride {
 public:
  ValueOverride(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                const std::string& bytes)
      : name_(name) {
    ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                      key_.put(), nullptr);
    old_ = ReadRegistryData(key_.get(), name_);
    ::RegSetValueExW(key_.get(), name_.c_str(), 0, type,
                     reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  }
  ~ValueOverride() {
    if (old_) {
      ::RegSetValueExW(key_.get(), name_.c_str(), 0, old_->type, old_->bytes.data(),
                       static_cast<DWORD>(old_->bytes.size()));
    } else {
      ::RegDeleteValueW(key_.get(), name_.c_str());
    }
  }

 private:
  UniqueRegKey key_;
  std::wstring name_;
  std::optional<RegistryData> old_;
};

std::string TextBytes(const std::wstring& text) {
  return test::Utf16LeBytes(text + L'\0');
}

TEST(AppFrame, ShellFoldersValueIsReadAsText) {
  test::ScratchFolder folder;
  {
    ValueOverride value(HKEY_CURRENT_USER, std::wstring(kExplorer) + L"Shell Folders", L"AppData",
                        REG_SZ, TextBytes(folder.path()));
    EXPECT_EQ(ReadShellFoldersValue(false), folder.path());
  }
  ValueOverride number(HKEY_LOCAL_MACHINE, std::wstring(kExplorer) + L"Shell Folders",
                       L"Common AppData", REG_DWORD, std::string(4, '\0'));
  EXPECT_EQ(ReadShellFoldersValue(true), L"");
}

// When the shell cannot name a folder that exists, the chain ends at the
// folder's usual place on the Windows drive. (Wine's shell writes the broken
// path into "Shell Folders" as well, so the registry link is tested on its own above.)
TEST(AppFrame, BrokenShellFoldersFallBackToTheUsualPlaces) {
  const std::string missing = TextBytes(L"C:\\velmora-no-such-folder");
  ValueOverride user(HKEY_CURRENT_USER, std::wstring(kExplorer) + L"User Shell Folders", L"AppData",
                     REG_EXPAND_SZ, missing);
  ValueOverride user_cache(HKEY_CURRENT_USER, std::wstring(kExplorer) + L"Shell Folders",
                           L"AppData", REG_SZ, missing);
  ValueOverride common(HKEY_LOCAL_MACHINE, std::wstring(kExplorer) + L"User Shell Folders",
                       L"Common AppData", REG_EXPAND_SZ, missing);
  ValueOverride common_cache(HKEY_LOCAL_MACHINE, std::wstring(kExplorer) + L"Shell Folders",
                             L"Common AppData", REG_SZ, missing);
  if (!GetSpecialFolder(CSIDL_APPDATA).empty()) {
    GTEST_SKIP() << "this shell names folders that do not exist";
  }
  const TAppFrame frame;
  EXPECT_EQ(frame.CommonAppDataDir(), GetWindowsDrive() + L"\\ProgramData");
  EXPECT_EQ(frame.AppDataDir(),
            GetWindowsDrive() + L"\\Users\\" + GetCurrentUserName() + L"\\AppData\\Roaming");
}

}  // namespace
}  // namespace velmora
