#include "app/archive_destination.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <stdexcept>

#include "environment/accounts.h"
#include "support/test_support.h"

namespace velmora {
namespace {

TEST(SessionUserDesktop, ElevatedAccountIsReplacedBySessionUser) {
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\admin\\Desktop", L"bob", L"admin"),
            L"C:\\Users\\bob\\Desktop");
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\Admin\\Desktop", L"bob", L"ADMIN"),
            L"C:\\Users\\bob\\Desktop");
}

TEST(SessionUserDesktop, OnlyWholePathSegmentsAreReplaced) {
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\administrator\\Desktop", L"bob", L"admin"),
            L"C:\\Users\\administrator\\Desktop");
}

TEST(SessionUserDesktop, NamesEqualApartFromCaseLeaveThePath) {
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\Bob\\Desktop", L"bob", L"BOB"),
            L"C:\\Users\\Bob\\Desktop");
}

TEST(SessionUserDesktop, UnknownSessionUserLeavesThePath) {
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\admin\\Desktop", L"", L"admin"),
            L"C:\\Users\\admin\\Desktop");
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\admin\\Desktop", L"bob", L""),
            L"C:\\Users\\admin\\Desktop");
}

// The program runs as "admin" for the user "bob" at the console; which
// folders bob may write to is told by the test, as the system would.
struct DesktopCase {
  const wchar_t* console_desktop;  // from bob's profile; empty without a token
  std::vector<std::wstring> bobs_folders;
  const wchar_t* expected;  // empty: the archive goes beside the program
};

TEST(ChooseDesktopFolder, TheConsoleUsersOwnDesktopOrNone) {
  const DesktopCase cases[] = {
      // A domain profile, a second profile, a desktop on a share.
      {L"C:\\Users\\bob.CONTOSO\\Desktop",
       {L"C:\\Users\\bob.CONTOSO\\Desktop"},
       L"C:\\Users\\bob.CONTOSO\\Desktop"},
      {L"C:\\Users\\bob.000\\Desktop",
       {L"C:\\Users\\bob.000\\Desktop"},
       L"C:\\Users\\bob.000\\Desktop"},
      {L"\\\\files\\home\\bob\\Desktop",
       {L"\\\\files\\home\\bob\\Desktop"},
       L"\\\\files\\home\\bob\\Desktop"},
      // The guessed folder exists but is another account's (a local "bob").
      {L"C:\\Users\\bob.CONTOSO\\Desktop", {}, L""},
      // No token: the guess, only where it is bob's.
      {L"", {}, L""},
      {L"", {L"C:\\Users\\bob\\Desktop"}, L"C:\\Users\\bob\\Desktop"},
  };
  for (const DesktopCase& c : cases) {
    DesktopFacts facts{L"C:\\Users\\admin\\Desktop", L"bob", L"admin", c.console_desktop,
                       [&c](const std::wstring& folder) {
                         return std::find(c.bobs_folders.begin(), c.bobs_folders.end(), folder) !=
                                c.bobs_folders.end();
                       }};
    EXPECT_EQ(ChooseDesktopFolder(facts), c.expected) << c.console_desktop;
  }
  // The program runs as the user at the console.
  EXPECT_EQ(ChooseDesktopFolder({L"C:\\Users\\bob\\Desktop", L"bob", L"Bob", L"",
                                 [](const std::wstring&) { return true; }}),
            L"C:\\Users\\bob\\Desktop");
}

TEST(ArchivePathIn, ResolvesRelativeParts) {
  EXPECT_EQ(ArchivePathIn(L"C:\\Users\\bob\\Desktop"),
            L"C:\\Users\\bob\\Desktop\\Velmora_Debug_Info.zip");
  EXPECT_EQ(ArchivePathIn(L"C:\\Tools\\sub\\.."), L"C:\\Tools\\Velmora_Debug_Info.zip");
}

// Wine does not check a user's rights on its files: that the changes in the
// destination folder are made with the console user's token is looked at
// directly, on the thread that makes them.
TEST(ArchiveOptionsActingAs, ChangesAtTheDestinationAreMadeAsTheConsoleUser) {
  ASSERT_TRUE(test::EnsureShellRunning());
  UniqueHandle token = DuplicateConsoleShellToken();
  ASSERT_TRUE(token.valid());
  const auto thread_token = [] {
    UniqueHandle own;
    return ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, own.put()) != FALSE;
  };
  const ArchiveOptions options = ArchiveOptionsActingAs(std::move(token));
  bool acting_as_user = false;
  options.at_destination([&] { acting_as_user = thread_token(); });
  EXPECT_TRUE(acting_as_user);
  EXPECT_FALSE(thread_token());
  // Also when the change fails.
  EXPECT_THROW(options.at_destination([] { throw std::runtime_error("full"); }),
               std::runtime_error);
  EXPECT_FALSE(thread_token());
  // Without the console user's token (Explorer ended after the press, or its
  // token denied), nothing is changed with the program's own rights.
  bool changed = false;
  EXPECT_THROW(ArchiveOptionsActingAs(UniqueHandle()).at_destination([&] { changed = true; }),
               NoConsoleUser);
  EXPECT_FALSE(changed);
  // A token the thread cannot take on (it cannot be duplicated): not ignored.
  UniqueHandle query_only;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, query_only.put()));
  EXPECT_THROW(
      ArchiveOptionsActingAs(std::move(query_only)).at_destination([&] { changed = true; }),
      NoConsoleUser);
  EXPECT_FALSE(changed);
}

TEST(IsOnDesktop, DesktopAnywhereInTheLowerCasedPath) {
  EXPECT_TRUE(IsOnDesktop(L"C:\\Users\\bob\\Desktop\\Velmora_Debug_Info.zip"));
  EXPECT_TRUE(IsOnDesktop(L"D:\\DesktopTools\\Velmora_Debug_Info.zip"));
  EXPECT_TRUE(IsOnDesktop(L"D:\\x\\MYDESKTOP\\Velmora_Debug_Info.zip"));
  EXPECT_FALSE(IsOnDesktop(L"C:\\Program Files\\Velmora\\Velmora_Debug_Info.zip"));
}

}  // namespace
}  // namespace velmora
