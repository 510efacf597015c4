#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <vector>

#include "common/handles.h"
#include "common/strings.h"
#include "common/system_class.h"
#include "environment/accounts.h"
#include "environment/desktop_shell.h"
#include "environment/folders.h"
#include "environment/version_resource.h"
#include "environment/wow64.h"
#include "support/test_support.h"

namespace velmora {
namespace {

std::wstring Fixture(const wchar_t* name) {
  return test::BinDir() + L"\\" + name;
}

TEST(FileVersionString, ProgramCarriesItsFileVersion) {
  EXPECT_EQ(GetFileVersionString(Fixture(L"VelmoraHelper.exe"), L"Unknown"), L"1.7.0.783");
}

TEST(FileVersionString, FileWithoutVersionResourceGivesTheDefault) {
  EXPECT_EQ(GetFileVersionString(Fixture(L"no_version.dll"), L"Unknown"), L"Unknown");
  EXPECT_EQ(GetFileVersionString(Fixture(L"missing.dll"), L"Unknown"), L"Unknown");
}

TEST(FileVersionString, TableWithoutFileVersionGivesEmptyText) {
  EXPECT_EQ(GetFileVersionString(Fixture(L"no_file_version.dll"), L"Unknown"), L"");
}

TEST(FileVersionString, MissingTableFallsBackToTheFirstTablePresent) {
  EXPECT_EQ(GetFileVersionString(Fixture(L"other_table.dll"), L"Unknown"), L"2.3.4.5");
}

TEST(FileVersionString, KeyNamesAreMatchedWithoutRegardToCase) {
  EXPECT_EQ(GetFileVersionString(Fixture(L"odd_case_keys.dll"), L"Unknown"), L"4.5.6.7");
}

TEST(ModuleVersionText, FixedVersionFirstThenFileVersionString) {
  EXPECT_EQ(GetModuleVersionText(Fixture(L"VelmoraHelper.exe")), L"1.7.0.783");
  EXPECT_EQ(GetModuleVersionText(Fixture(L"no_file_version.dll")), L"3.1.0.0");
  EXPECT_EQ(GetModuleVersionText(Fixture(L"other_table.dll")), L"2.3.4.5");
  EXPECT_EQ(GetModuleVersionText(Fixture(L"no_version.dll")), L"");
}

TEST(VersionResourceParser, RejectsTruncatedData) {
  const BYTE data[] = {0x40, 0x00, 0x34, 0x00};
  EXPECT_FALSE(ParseVersionResource(data, sizeof(data)).has_value());
}

TEST(Wow64, TheTestBuildRunsOnSixtyFourBitWindows) {
  EXPECT_TRUE(IsWow64());
  InitWow64Entries();
  PVOID old_value = nullptr;
  if (DisableFsRedirection(&old_value)) {
    EXPECT_TRUE(RevertFsRedirection(old_value));
  }
}

TEST(Folders, WellKnownFolders) {
  const std::wstring temp = GetTempDir();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
  EXPECT_EQ(GetWindowsDrive(), GetWindowsDir().substr(0, 2));
  EXPECT_EQ(GetSystemDir().rfind(GetWindowsDir(), 0), 0u);
  const std::wstring desktop = GetSpecialFolder(CSIDL_DESKTOPDIRECTORY);
  EXPECT_FALSE(desktop.empty());
  EXPECT_NE(desktop.back(), L'\\');
  EXPECT_EQ(GetSpecialFolder(0x7FFF), L"");
}

TEST(Accounts, ProcessUserIsTheAccountWeRunAs) {
  const std::wstring user = GetCurrentUserName();
  ASSERT_FALSE(user.empty());
  EXPECT_TRUE(EqualsNoCase(GetProcessUserName(::GetCurrentProcessId()), user));
  EXPECT_EQ(GetProcessUserName(0xFFFFFFF0), L"");
}

TEST(Accounts, SessionUserIsTheConsoleUser) {
  EXPECT_TRUE(EqualsNoCase(GetSessionUserName(), GetCurrentUserName()));
}

TEST(Accounts, FindProcessByNameMatchesImageAndOwner) {
  const std::wstring self = SplitAtLastBackslash(GetProgramFile()).second;
  EXPECT_EQ(FindProcessByName(ToLower(self), L""), ::GetCurrentProcessId());
  EXPECT_EQ(FindProcessByName(self, GetCurrentUserName()), ::GetCurrentProcessId());
  EXPECT_EQ(FindProcessByName(self, L"nobody-here"), 0u);
  ASSERT_TRUE(test::EnsureShellRunning());
  EXPECT_NE(FindProcessByName(L"EXPLORER.EXE", L""), 0u);
  EXPECT_EQ(FindProcessByName(L"no-such-image.exe", L""), 0u);
}

// Wine's Explorer offers no desktop view to ask, and runs everything with the
// same rights anyway: what a request does is looked at through the desktop's
// opener instead. Without the desktop's shell (Explorer ended after the window
// appeared) nothing may start, since it would start with the program's rights.
TEST(DesktopShell, OpensOnlyThroughTheDesktopsShell) {
  std::vector<std::wstring> calls;
  const auto desktop = [&calls](bool answers) {
    return ShellOpeners{[&calls, answers](const ShellRequest& request) {
      calls.push_back(request.file + L" " + request.parameters);
      return answers;
    }};
  };
  const ShellRequest request = ExplorerSelecting(L"C:\\Tools, old\\Velmora_Debug_Info.zip");
  EXPECT_EQ(request.file, GetWindowsDir() + L"\\explorer.exe");
  EXPECT_EQ(request.parameters, L"/select,\"C:\\Tools, old\\Velmora_Debug_Info.zip\"");
  EXPECT_EQ(request.show, SW_SHOW);
  EXPECT_TRUE(OpenAsDesktopUser(request, desktop(true)));
  // No shell at the link's click: refused, and nothing else is asked.
  EXPECT_FALSE(OpenAsDesktopUser({L"https://example.com/", L"", SW_SHOWNORMAL}, desktop(false)));
  EXPECT_EQ(calls, (std::vector<std::wstring>{request.file + L" " + request.parameters,
                                              L"https://example.com/ "}));
}

TEST(Accounts, ConsoleShellTokenActsForTheConsoleUser) {
  ASSERT_TRUE(test::EnsureShellRunning());
  const UniqueHandle token = DuplicateConsoleShellToken();
  ASSERT_TRUE(token.valid());
  {
    const ActingAsUser as_user(token.get());
    EXPECT_TRUE(as_user.active());
    UniqueHandle thread_token;
    EXPECT_TRUE(::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, thread_token.put()));
  }
  UniqueHandle thread_token;
  EXPECT_FALSE(::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, thread_token.put()));
  EXPECT_FALSE(ActingAsUser(nullptr).active());
}

TEST(Accounts, UserMayWriteTheirOwnFoldersOnly) {
  ASSERT_TRUE(test::EnsureShellRunning());
  const UniqueHandle token = DuplicateConsoleShellToken();
  const std::wstring desktop = GetUserDesktopFolder(token.get());
  ASSERT_FALSE(desktop.empty());
  EXPECT_TRUE(UserMayWriteFolder(token.get(), L"", desktop));
  EXPECT_TRUE(UserMayWriteFolder(nullptr, GetCurrentUserName(), desktop));
  EXPECT_FALSE(UserMayWriteFolder(nullptr, L"no such account here", desktop));
  EXPECT_FALSE(UserMayWriteFolder(token.get(), L"", desktop + L"\\missing"));
}

// Wine has one session: two signed-in users (a Remote Desktop host, fast user
// switching) are given as the system would report them. The program runs in
// session 2; bob's shell is in the console session 1.
TEST(Accounts, TheShellOfTheProgramsOwnSessionIsTheConsoleUsers) {
  const std::wstring explorer = L"C:\\Windows\\explorer.exe";
  const ShellProcess bob = {100, explorer, 1};
  const ShellProcess alice = {200, explorer, 2};
  const ShellProcess alice_second = {300, L"c:\\windows\\EXPLORER.EXE", 2};
  const ShellProcess planted = {400, L"C:\\Users\\alice\\explorer.exe", 2};
  const ShellProcess unreadable = {500, L"", 2};
  struct Case {
    DWORD shell_window;
    std::vector<ShellProcess> shells;
    DWORD expected;
  } cases[] = {
      {0, {bob, alice}, 200},                    // not the first in any active session
      {300, {bob, alice, alice_second}, 300},    // the shell window's process
      {100, {bob, alice}, 200},                  // a shell window of another session
      {400, {planted, unreadable, alice}, 200},  // named explorer.exe, not Windows'
      {0, {bob, planted}, 100},                  // none of its own: the console's
      {0, {planted}, 0},
      {0, {}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseSessionShell({c.shell_window, 2, 1, {explorer}, c.shells}), c.expected)
        << c.shell_window;
  }
}

// Wine cannot show a per-user class shadowing the machine's for an elevated
// process: the registration values that Windows writes are given instead.
TEST(SystemClass, ServerPathFromTheMachinesRegistrationOnly) {
  const std::wstring windows = L"C:\\Windows";
  EXPECT_EQ(MachineServerPath(L"%SystemRoot%\\System32\\wbem\\wbemprox.dll", windows),
            L"C:\\Windows\\System32\\wbem\\wbemprox.dll");
  EXPECT_EQ(MachineServerPath(L"%windir%\\system32\\FirewallAPI.dll", windows),
            L"C:\\Windows\\system32\\FirewallAPI.dll");
  EXPECT_EQ(MachineServerPath(L"\"C:\\Windows\\System32\\shell32.dll\"", windows),
            L"C:\\Windows\\System32\\shell32.dll");
  // Nothing of the environment beyond the Windows folder, no search by name.
  EXPECT_EQ(MachineServerPath(L"%ProgramFiles%\\x.dll", windows), L"");
  EXPECT_EQ(MachineServerPath(L"wbemprox.dll", windows), L"");
  EXPECT_EQ(MachineServerPath(L"", windows), L"");
}

// An out-of-process class is asked for only where the machine registers it
// and the user's own classes (read first by COM) do not.
TEST(SystemClass, LocalServerOnlyFromTheMachinesRegistration) {
  const CLSID made_up = {
      0x5f0c1a2e, 0x4b1d, 0x4c3a, {0x9e, 0x21, 0x7a, 0x30, 0x5d, 0x11, 0x64, 0x02}};
  const wchar_t key[] = L"Software\\Classes\\CLSID\\{5F0C1A2E-4B1D-4C3A-9E21-7A305D116402}";
  void* object = nullptr;
  EXPECT_EQ(CreateMachineLocalObject(made_up, IID_IUnknown, 0, &object), REGDB_E_CLASSNOTREG);
  {
    UniqueRegKey created;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr,
                                created.put(), nullptr),
              ERROR_SUCCESS);
  }
  EXPECT_EQ(CreateMachineLocalObject(made_up, IID_IUnknown, 0, &object), kClassRegisteredForUser);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(::RegDeleteKeyW(HKEY_CURRENT_USER, key), ERROR_SUCCESS);
}

// Wine answers as Windows 10: the versions whose shell must not be handed a
// token are looked at through the decision.
TEST(Folders, OnlyWindowsXpAndLaterLookUpAUsersFoldersByToken) {
  EXPECT_FALSE(ShellTakesUserToken(5, 0));
  EXPECT_TRUE(ShellTakesUserToken(5, 1));
  EXPECT_TRUE(ShellTakesUserToken(5, 2));
  EXPECT_TRUE(ShellTakesUserToken(6, 0));
  EXPECT_TRUE(ShellTakesUserToken(10, 0));
  EXPECT_FALSE(ShellTakesUserToken(0, 0));  // the version could not be had
}

TEST(Accounts, ShellTokenIntegrityLevel) {
  ASSERT_TRUE(test::EnsureShellRunning());
  UniqueHandle token = DuplicateProcessToken(L"explorer.exe", GetSessionUserName());
  ASSERT_TRUE(token.valid());
  EXPECT_GE(GetTokenIntegrityRid(token.get()), 0x1000u);
  EXPECT_FALSE(DuplicateProcessToken(L"no-such-image.exe", L"").valid());
}

TEST(Accounts, OwnTokenIntegrityLevel) {
  UniqueHandle token;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
  EXPECT_EQ(GetTokenIntegrityRid(token.get()), 0x3000u);
}

}  // namespace
}  // namespace velmora
