#include "reports/registry/autoruns_report.h"

#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "common/com_ptr.h"
#include "common/handles.h"
#include "common/registry_native.h"
#include "common/registry_value.h"
#include "environment/app_frame.h"
#include "environment/folders.h"
#include "reports/registry/resolve_shortcut.h"
#include "support/registry_seed.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::SeededKey;

constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunOnce[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr wchar_t kRunOnceEx[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
constexpr wchar_t kPoliciesRun[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
constexpr wchar_t kNtWindows[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr wchar_t kPoliciesSystem[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr wchar_t kWinlogon[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

// The same place in the 32-bit registry of 64-bit Windows.
std::wstring Twin(const std::wstring& path) {
  return path.substr(0, 8) + L"\\Wow6432Node" + path.substr(8);
}

const ReportList kFrame = {L"", L"===== Autoruns =====", L""};

void MakeShortcut(const std::wstring& path, const std::wstring& target,
                  const std::wstring& arguments) {
  OleSession ole;
  ComPtr<IShellLinkW> link;
  ASSERT_EQ(CreateInProcess(CLSID_ShellLink, IID_IShellLinkW, link), S_OK);
  ASSERT_EQ(link->SetPath(target.c_str()), S_OK);
  if (!arguments.empty()) {
    ASSERT_EQ(link->SetArguments(arguments.c_str()), S_OK);
  }
  ComPtr<IPersistFile> file;
  ASSERT_EQ(link.QueryInto(IID_IPersistFile, file), S_OK);
  ASSERT_EQ(file->Save(path.c_str(), TRUE), S_OK);
}

// Every autostart place of the prefix, emptied for one test and given back at
// its end; the test seeds what it needs on top.
class AutorunsReport : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* path :
         {kRun, kRunOnce, kRunOnceEx, kPoliciesRun, kNtWindows, kPoliciesSystem, kWinlogon}) {
      for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        stashed_keys_.push_back(std::make_unique<test::StashedKey>(root, path));
        stashed_keys_.push_back(std::make_unique<test::StashedKey>(root, Twin(path)));
      }
    }
    user_startup_ = std::make_unique<test::StashedFolder>(TAppFrame::GetFolder(kStartupFolder));
    common_startup_ = std::make_unique<test::StashedFolder>(GetSpecialFolder(CSIDL_COMMON_STARTUP));
    ASSERT_FALSE(user_startup_->path().empty());
    ASSERT_FALSE(common_startup_->path().empty());
  }

  SeededKey& Seed(HKEY root, const std::wstring& path) {
    seeded_keys_.push_back(std::make_unique<SeededKey>(root, path));
    return *seeded_keys_.back();
  }
  std::wstring UserFile(const std::wstring& name) const {
    return user_startup_->path() + L"\\" + name;
  }
  std::wstring CommonFile(const std::wstring& name) const {
    return common_startup_->path() + L"\\" + name;
  }
  static ReportList WithFrame(const ReportList& lines) {
    ReportList report = kFrame;
    report.insert(report.end(), lines.begin(), lines.end());
    return report;
  }

  // Declared first, so that they put the prefix back after the seeds are gone.
  std::vector<std::unique_ptr<test::StashedKey>> stashed_keys_;
  std::unique_ptr<test::StashedFolder> user_startup_;
  std::unique_ptr<test::StashedFolder> common_startup_;
  std::vector<std::unique_ptr<SeededKey>> seeded_keys_;
};

TEST_F(AutorunsReport, NothingToStartGivesTheFrameOnly) {
  // Explorer's own files, in any letter case, start nothing.
  test::WriteBytes(UserFile(L"desktop.ini"), "[.ShellClassInfo]");
  test::WriteBytes(UserFile(L"THUMBS.DB"), "cache");
  ::CreateDirectoryW(CommonFile(L"Pictures").c_str(), nullptr);
  test::WriteBytes(CommonFile(L"Pictures\\Thumbs.db"), "cache");
  test::WriteBytes(CommonFile(L"Desktop.INI"), "[.ShellClassInfo]");
  // Empty keys and values that name the standard programs add nothing either.
  Seed(HKEY_CURRENT_USER, kRun);
  Seed(HKEY_LOCAL_MACHINE, Twin(kRunOnceEx)).Subkey(L"0001");
  Seed(HKEY_LOCAL_MACHINE, kNtWindows).Text(L"Load", L" , ").Text(L"Run", L"");
  Seed(HKEY_LOCAL_MACHINE, kWinlogon)
      .Text(L"Shell", L"explorer.exe")
      .Text(L"Userinit", TAppFrame::GetFolder(kSystemFolder) + L"\\userinit.exe,");

  EXPECT_EQ(GetAutorunsReport(), kFrame);
}

TEST_F(AutorunsReport, EveryPlaceInGroupRootAndTwinOrder) {
  const std::wstring system_dir = TAppFrame::GetFolder(kSystemFolder);
  const std::wstring windows_dir = TAppFrame::GetFolder(kWindowsFolder);
  // Wine lists a folder's entries in name order, without regard to case.
  MakeShortcut(UserFile(L"Alpha tool.lnk"), system_dir + L"\\notepad.exe",
               L"/p \"C:\\some file.txt\"");
  test::WriteBytes(UserFile(L"broken.lnk"), "not a shortcut at all");
  test::WriteBytes(UserFile(L"desktop.ini"), "[.ShellClassInfo]");
  MakeShortcut(UserFile(L"Launcher.LNK"), windows_dir + L"\\regedit.exe", L"");
  ::CreateDirectoryW(UserFile(L"sub").c_str(), nullptr);
  test::WriteBytes(UserFile(L"sub\\plain.exe"), "MZ");
  // Version-control copies are not searched.
  ::CreateDirectoryW(UserFile(L".svn").c_str(), nullptr);
  test::WriteBytes(UserFile(L".svn\\hidden.exe"), "MZ");
  test::WriteBytes(CommonFile(L"Thumbs.DB"), "cache");
  test::WriteBytes(CommonFile(L"zz start.bat"), "@echo off");

  Seed(HKEY_CURRENT_USER, kRun).Text(L"Velmora A", L"\"C:\\Program Files\\A\\a.exe\" /min");
  Seed(HKEY_LOCAL_MACHINE, kRun)
      .Text(L"", L"default.exe")
      .Text(L"B", L"%ProgramFiles%\\b.exe", REG_EXPAND_SZ);
  Seed(HKEY_CURRENT_USER, Twin(kRun)).Text(L"C32", L"c32.exe");
  Seed(HKEY_LOCAL_MACHINE, Twin(kRun)).Text(L"D32", L"d32.exe");

  Seed(HKEY_CURRENT_USER, kRunOnce).Text(L"Once", L"once.exe");
  Seed(HKEY_LOCAL_MACHINE, Twin(kRunOnce)).Text(L"Once32", L"once32.exe");

  SeededKey& entries = Seed(HKEY_LOCAL_MACHINE, kRunOnceEx).Subkey(L"0001").Subkey(L"0002");
  Seed(HKEY_LOCAL_MACHINE, entries.path() + L"\\0001")
      .Text(L"1", L"||cmd /c echo one")
      .Text(L"2", L"setup.dll|Install|/quiet")
      .Text(L"3", L" | |tool.exe /x");
  Seed(HKEY_LOCAL_MACHINE, entries.path() + L"\\0002").Text(L"1", L"late.dll|Go");
  Seed(HKEY_CURRENT_USER, Twin(kRunOnceEx)).Subkey(L"Entry");
  Seed(HKEY_CURRENT_USER, Twin(kRunOnceEx) + L"\\Entry").Text(L"x", L"lib32.dll|Func");

  Seed(HKEY_CURRENT_USER, kPoliciesRun).Text(L"P", L"p.exe");
  Seed(HKEY_CURRENT_USER, Twin(kPoliciesRun)).Text(L"P32", L"p32.exe");
  // The machine's policies are one key for both views, as from Windows 7 on:
  // its twin shows the same values again.
  Seed(HKEY_LOCAL_MACHINE, kPoliciesRun).Text(L"PM", L"pm.exe");

  Seed(HKEY_CURRENT_USER, kNtWindows)
      .Text(L"Load", L"a.exe, b.exe")
      .Text(L"Run", L"\"C:\\Program Files\\R\\r.exe\", C:\\Program Files\\x.exe");
  Seed(HKEY_LOCAL_MACHINE, Twin(kNtWindows)).Text(L"Load", L"w32.exe,");

  Seed(HKEY_CURRENT_USER, kPoliciesSystem).Text(L"Shell", L"custom.exe");
  Seed(HKEY_LOCAL_MACHINE, kWinlogon)
      .Text(L"Shell", L"explorer.exe,extra.exe")
      .Text(L"Userinit", system_dir + L"\\userinit.exe,");
  Seed(HKEY_LOCAL_MACHINE, Twin(kWinlogon))
      .Text(L"Shell", L"other.exe,Explorer.exe")
      .Text(L"Userinit", L"C:\\WINDOWS\\userinit.exe, logon.exe");

  EXPECT_EQ(GetAutorunsReport(),
            WithFrame({
                L"---------- Startup ----------",
                L"\"" + system_dir + L"\\notepad.exe\" /p \"C:\\some file.txt\"",
                L"\"\" ",
                L"\"" + windows_dir + L"\\regedit.exe\" ",
                UserFile(L"sub\\plain.exe"),
                CommonFile(L"zz start.bat"),
                L"---------- Run ----------",
                L"Velmora A=\"C:\\Program Files\\A\\a.exe\" /min",
                L"=default.exe",
                L"B=%ProgramFiles%\\b.exe",
                L"C32=c32.exe",
                L"D32=d32.exe",
                L"---------- RunOnce ----------",
                L"Once=once.exe",
                L"Once32=once32.exe",
                L"---------- RunOnceEx ----------",
                L"rundll32.exe cmd /c echo one",
                L"rundll32.exe setup.dll",
                L"rundll32.exe setup.dll,Install",
                L"rundll32.exe setup.dll,Install /quiet",
                L"tool.exe /x",
                L"rundll32.exe late.dll",
                L"rundll32.exe late.dll,Go",
                L"rundll32.exe lib32.dll",
                L"rundll32.exe lib32.dll,Func",
                L"---------- policies Run ----------",
                L"P=p.exe",
                L"PM=pm.exe",
                L"P32=p32.exe",
                L"PM=pm.exe",
                L"---------- NT Run ----------",
                L"C:\\Program Files\\R\\r.exe",
                L"C:\\Program",
                L"Files\\x.exe",
                L"a.exe",
                L"b.exe",
                L"w32.exe",
                L"---------- Windows Shell ----------",
                L"custom.exe",
                L"extra.exe",
                L"other.exe",
                L"Explorer.exe",
                L"logon.exe",
            }));
}

// A value of another type in an autostart place costs only that value.
TEST_F(AutorunsReport, NonTextValueLeavesOnlyThatValueOut) {
  Seed(HKEY_CURRENT_USER, kRun).Text(L"A", L"a.exe").Dword(L"B", 1).Text(L"C", L"c.exe");
  Seed(HKEY_LOCAL_MACHINE, kRunOnceEx).Subkey(L"0001");
  Seed(HKEY_LOCAL_MACHINE, kRunOnceEx + std::wstring(L"\\0001"))
      .Dword(L"1", 7)
      .Raw(L"2", REG_MULTI_SZ, test::Utf16LeBytes(std::wstring(L"x.dll\0\0", 7)))
      .Text(L"3", L"||kept.exe");
  Seed(HKEY_LOCAL_MACHINE, kNtWindows).Dword(L"Load", 2).Text(L"Run", L"r.exe");
  Seed(HKEY_LOCAL_MACHINE, kWinlogon).Dword(L"Shell", 3).Text(L"Userinit", L"u.exe");

  EXPECT_EQ(GetAutorunsReport(), WithFrame({
                                     L"---------- Run ----------",
                                     L"A=a.exe",
                                     L"C=c.exe",
                                     L"---------- RunOnceEx ----------",
                                     L"rundll32.exe kept.exe",
                                     L"---------- NT Run ----------",
                                     L"r.exe",
                                     L"---------- Windows Shell ----------",
                                     L"u.exe",
                                 }));
}

// Entries hidden behind a NUL in their names are shown with "\0" and their
// own data; a value too large to be read shows its name and a note, and costs
// nothing else.
TEST_F(AutorunsReport, HiddenNamesAndHugeValuesKeepTheirPlace) {
  const std::wstring huge(kRegistryValueLimit, L'x');
  Seed(HKEY_CURRENT_USER, kRun)
      .Text(L"A", L"a.exe")
      .Text(std::wstring(L"A\0hidden", 8), L"hidden.exe")
      .Text(L"B huge", huge)
      .Text(L"C", L"c.exe");
  Seed(HKEY_LOCAL_MACHINE, kRunOnceEx).Subkey(std::wstring(L"\0", 1));
  UniqueRegKey entry;
  ASSERT_EQ(OpenRegistryKey(HKEY_LOCAL_MACHINE, kRunOnceEx + std::wstring(L"\\\0", 2),
                            KEY_SET_VALUE | KEY_WOW64_64KEY, false, entry.put()),
            ERROR_SUCCESS);
  ASSERT_TRUE(test::SetCountedValue(entry.get(), L"1", REG_SZ,
                                    test::Utf16LeBytes(std::wstring(L"||entry.exe", 12))));
  Seed(HKEY_LOCAL_MACHINE, kNtWindows).Text(L"Load", huge).Text(L"Run", L"r.exe");

  const std::wstring note =
      L"(value \"B huge\" not shown: " + std::to_wstring(huge.size() * 2 + 2) +
      L" bytes of data, more than the " + std::to_wstring(kRegistryValueLimit) + L" read)";
  EXPECT_EQ(
      GetAutorunsReport(),
      WithFrame({
          L"---------- Run ----------",
          L"A=a.exe",
          L"A\\0hidden=hidden.exe",
          L"B huge=",
          note,
          L"C=c.exe",
          L"---------- RunOnceEx ----------",
          L"rundll32.exe entry.exe",
          L"---------- NT Run ----------",
          L"r.exe",
          L"(value \"Load\" not shown: " + std::to_wstring(huge.size() * 2 + 2) +
              L" bytes of data, more than the " + std::to_wstring(kRegistryValueLimit) + L" read)",
      }));
}

// Many large values: the block stops at its budget of 2 Mi characters, with a
// note of what it left out, and a group past it leaves no header.
TEST_F(AutorunsReport, BlockStopsAtItsBudgetWithANote) {
  const std::wstring large(524287, L'x');  // 1 MiB of data with its NUL
  SeededKey& run = Seed(HKEY_CURRENT_USER, kRun);
  for (const wchar_t* name : {L"1", L"2", L"3", L"4", L"5"}) run.Text(name, large);
  Seed(HKEY_LOCAL_MACHINE, kNtWindows).Text(L"Run", L"r.exe");
  EXPECT_EQ(GetAutorunsReport(),
            WithFrame({L"---------- Run ----------", L"1=" + large, L"2=" + large, L"3=" + large,
                       L"(Left out from here, as a report block holds at most 2097152 "
                       L"characters: lines 3)"}));
}

// The user's own Run key made a link to a key only administrators may read:
// the elevated report does not follow it.
TEST_F(AutorunsReport, UserKeysAreNotFollowedThroughLinks) {
  Seed(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VelmoraAdminOnly").Text(L"secret", L"admin.exe");
  // The stashed Run key's place; the stash removes the link itself at the end.
  UniqueRegKey parent;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion", 0,
                            KEY_ALL_ACCESS, parent.put()),
            ERROR_SUCCESS);
  ASSERT_TRUE(test::CreateLinkSubkey(
      parent.get(), L"Run", test::NativeKeyPath(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VelmoraAdminOnly"),
      KEY_WOW64_64KEY));
  EXPECT_EQ(GetAutorunsReport(), kFrame);
}

class Shortcut : public ::testing::Test {
 protected:
  test::ScratchFolder folder_{L"shortcuts"};
};

TEST_F(Shortcut, TargetInQuotesThenBlankThenArguments) {
  const std::wstring target = GetSystemDir() + L"\\notepad.exe";
  MakeShortcut(folder_.path() + L"with.lnk", target, L"a \"b c\"");
  MakeShortcut(folder_.path() + L"without.lnk", target, L"");
  EXPECT_EQ(ResolveShortcut(folder_.path() + L"with.lnk"), L"\"" + target + L"\" a \"b c\"");
  EXPECT_EQ(ResolveShortcut(folder_.path() + L"without.lnk"), L"\"" + target + L"\" ");
}

// Wine's 64-bit test build runs no WOW64: the 32-bit program's view of a
// 64-bit system is given through the expansion's inputs.
TEST(ExpandAsNativeSystem, ProgramFoldersOfThe64BitSystemUnderWow64) {
  const auto variable = [](const std::wstring& name) -> std::wstring {
    if (name == L"ProgramFiles") return L"C:\\Program Files (x86)";
    if (name == L"ProgramW6432") return L"C:\\Program Files";
    if (name == L"CommonProgramFiles") return L"C:\\Program Files (x86)\\Common Files";
    if (name == L"CommonProgramW6432") return L"C:\\Program Files\\Common Files";
    if (name == L"SystemRoot") return L"C:\\Windows";
    return L"";
  };
  struct Case {
    const wchar_t* raw;
    bool wow64;
    const wchar_t* expected;
  } cases[] = {
      {L"%ProgramFiles%\\Corvane\\tray.exe", true, L"C:\\Program Files\\Corvane\\tray.exe"},
      {L"%programfiles%\\a.exe", true, L"C:\\Program Files\\a.exe"},
      {L"%CommonProgramFiles%\\x.exe", true, L"C:\\Program Files\\Common Files\\x.exe"},
      {L"%ProgramFiles%\\a.exe", false, L"C:\\Program Files (x86)\\a.exe"},
      {L"%SystemRoot%\\system32\\notepad.exe", true, L"C:\\Windows\\system32\\notepad.exe"},
      {L"C:\\Tools\\plain.exe", true, L"C:\\Tools\\plain.exe"},
      {L"%NotSet%\\b.exe 100%", true, L"%NotSet%\\b.exe 100%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandAsNativeSystem(c.raw, c.wow64, variable), c.expected) << c.raw;
  }
  // The 64-bit names are taken only where the system has them (32-bit Windows).
  EXPECT_EQ(ExpandAsNativeSystem(L"%ProgramFiles%\\a.exe", true,
                                 [](const std::wstring& name) {
                                   return name == L"ProgramFiles" ? L"C:\\Programs" : L"";
                                 }),
            L"C:\\Programs\\a.exe");
}

TEST_F(Shortcut, UnreadableShortcutGivesEmptyParts) {
  test::WriteBytes(folder_.path() + L"broken.lnk", std::string(100, '\x4C'));
  EXPECT_EQ(ResolveShortcut(folder_.path() + L"broken.lnk"), L"\"\" ");
  EXPECT_EQ(ResolveShortcut(folder_.path() + L"missing.lnk"), L"\"\" ");
}

// OLE lives only for the call: the thread is left as it was found.
TEST_F(Shortcut, LeavesTheThreadsApartmentAsItWas) {
  const std::wstring target = GetSystemDir() + L"\\notepad.exe";
  MakeShortcut(folder_.path() + L"a.lnk", target, L"");
  ResolveShortcut(folder_.path() + L"a.lnk");
  const HRESULT fresh = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  EXPECT_EQ(fresh, S_OK) << "an apartment was left behind";
  // Inside a multithreaded apartment OLE cannot start, and must not end it.
  EXPECT_EQ(ResolveShortcut(folder_.path() + L"a.lnk"), L"\"" + target + L"\" ");
  EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  ::CoUninitialize();
  if (SUCCEEDED(fresh)) ::CoUninitialize();
}

}  // namespace
}  // namespace velmora
