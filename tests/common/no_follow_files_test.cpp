// Writes and deletes that never go through a planted link.
#include "common/no_follow_files.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "common/relative_files.h"
#include "common/report_file.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using namespace std::string_literals;

constexpr char kFileLinksLookPlain[] = "links to files look like plain files on this system";

using test::PathExists;
using test::ScratchFolder;

class NoFollow : public ::testing::Test {
 protected:
  // Plants a link to a file. Wine shows such a link as the file itself, so no
  // program can tell it apart there: those checks need Windows.
  static bool PlantFileLink(const std::wstring& target, const std::wstring& link) {
    return test::MakeUnixSymlink(target, link) && IsLinkPath(link);
  }

  ScratchFolder work_{L"no-follow-work"};
  ScratchFolder elsewhere_{L"no-follow-elsewhere"};
};

TEST_F(NoFollow, FreshFileReplacesALinkInsteadOfWritingThroughIt) {
  const std::wstring victim = elsewhere_.path() + L"system.ini";
  test::WriteBytes(victim, "original");
  if (!PlantFileLink(victim, work_.path() + L"uninstall.txt")) GTEST_SKIP() << kFileLinksLookPlain;
  SaveReportFile({L"line"}, work_.path() + L"uninstall.txt");
  EXPECT_EQ(test::ReadBytes(victim), "original");
  EXPECT_EQ(test::ReadBytes(work_.path() + L"uninstall.txt"), "\xFF\xFEl\0i\0n\0e\0\r\0\n\0"s);
}

TEST_F(NoFollow, FreshFileReplacesAnOlderFile) {
  test::WriteBytes(work_.path() + L"a.txt", "older and longer");
  ::SetFileAttributesW((work_.path() + L"a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  test::WriteBytes(work_.path() + L"a.txt", "new");
  EXPECT_EQ(test::ReadBytes(work_.path() + L"a.txt"), "new");
}

TEST_F(NoFollow, CopyKeepsAnExistingDestinationUnlessToldToReplaceIt) {
  test::WriteBytes(elsewhere_.path() + L"source.ini", "settings");
  test::WriteBytes(work_.path() + L"dest.ini", "already here");
  EXPECT_FALSE(
      CopyFileNoFollow(elsewhere_.path() + L"source.ini", work_.path() + L"dest.ini", false));
  EXPECT_EQ(test::ReadBytes(work_.path() + L"dest.ini"), "already here");
  EXPECT_TRUE(
      CopyFileNoFollow(elsewhere_.path() + L"source.ini", work_.path() + L"dest.ini", true));
  EXPECT_EQ(test::ReadBytes(work_.path() + L"dest.ini"), "settings");
}

TEST_F(NoFollow, CopyOverALinkLeavesItsTargetAlone) {
  const std::wstring victim = elsewhere_.path() + L"hosts";
  test::WriteBytes(victim, "original");
  test::WriteBytes(elsewhere_.path() + L"source.ini", "settings");
  if (!PlantFileLink(victim, work_.path() + L"dest.ini")) GTEST_SKIP() << kFileLinksLookPlain;
  CopyFileNoFollow(elsewhere_.path() + L"source.ini", work_.path() + L"dest.ini", true);
  EXPECT_EQ(test::ReadBytes(victim), "original");
}

// A source whose end cannot be read must leave no piece of itself behind that
// would pass for a copy. Wine's copy takes a read error for the end of the
// file and reports success; a file of the Linux system files, which claims
// 4096 bytes and gives a few, stands in for a file on a failing disk here.
TEST_F(NoFollow, CopyThatEndsEarlyLeavesNoDestination) {
  const std::wstring source = L"Z:\\sys\\devices\\system\\cpu\\online";
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data) ||
      data.nFileSizeLow != 4096) {
    GTEST_SKIP() << "no file here claims more bytes than it gives";
  }
  EXPECT_FALSE(CopyFileNoFollow(source, work_.path() + L"online", true));
  EXPECT_FALSE(PathExists(work_.path() + L"online"));
  EXPECT_FALSE(CopyFileNoFollow(source, work_.path() + L"online", false));
  EXPECT_FALSE(PathExists(work_.path() + L"online"));
  // A destination that was there before is not the copy's to remove.
  test::WriteBytes(work_.path() + L"kept", "kept");
  EXPECT_FALSE(CopyFileNoFollow(source, work_.path() + L"kept", false));
  EXPECT_EQ(test::ReadBytes(work_.path() + L"kept"), "kept");
}

TEST_F(NoFollow, CopyOfAMissingOrUnreadableSourceLeavesNoDestination) {
  EXPECT_FALSE(CopyFileNoFollow(elsewhere_.path() + L"missing.log", work_.path() + L"a.log", true));
  EXPECT_FALSE(PathExists(work_.path() + L"a.log"));
  const std::wstring locked = elsewhere_.path() + L"locked.log";
  test::WriteBytes(locked, "held open without sharing");
  UniqueHandle holder(::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  EXPECT_FALSE(CopyFileNoFollow(locked, work_.path() + L"locked.log", true));
  EXPECT_FALSE(PathExists(work_.path() + L"locked.log"));
}

TEST_F(NoFollow, FoldersBelowTheRootAreMadeRealOrRefused) {
  EXPECT_TRUE(MakeRealFolderBelow(work_.path(), work_.path() + L"AppPath\\Update\\"));
  EXPECT_TRUE(IsRealFolder(work_.path() + L"AppPath\\Update"));
  ASSERT_TRUE(test::MakeUnixSymlink(elsewhere_.path(), work_.path() + L"AppData"));
  const bool made = MakeRealFolderBelow(work_.path(), work_.path() + L"AppData\\Sub");
  EXPECT_FALSE(PathExists(elsewhere_.path() + L"Sub"));
  if (made) {
    EXPECT_TRUE(IsRealFolder(work_.path() + L"AppData"));
  }
  EXPECT_FALSE(MakeRealFolderBelow(work_.path(), elsewhere_.path() + L"Outside"));
}

TEST_F(NoFollow, RealFoldersBelowTheRootAreRealAllTheWayDown) {
  const std::wstring& root = work_.path();
  ASSERT_TRUE(MakeRealFolderBelow(root, root + L"Velmora\\Corvane\\Downloader"));
  EXPECT_TRUE(IsRealFolderBelow(root, root + L"Velmora\\Corvane\\Downloader\\"));
  EXPECT_TRUE(IsRealFolderBelow(root, root));
  EXPECT_FALSE(IsRealFolderBelow(root, root + L"Velmora\\Missing"));
  EXPECT_FALSE(IsRealFolderBelow(root, root + L"Velmora\\..\\..\\Velmora"));
  EXPECT_FALSE(IsRealFolderBelow(root, elsewhere_.path()));
  EXPECT_FALSE(IsRealFolderBelow(L"", root));
  // A link higher up with real folders below it.
  ::CreateDirectoryW((elsewhere_.path() + L"Downloader").c_str(), nullptr);
  ASSERT_TRUE(test::MakeUnixSymlink(elsewhere_.path(), root + L"Linked"));
  // The last part alone looks real.
  EXPECT_TRUE(IsRealFolder(root + L"Linked\\Downloader"));
  EXPECT_FALSE(IsRealFolderBelow(root, root + L"Linked\\Downloader"));
  EXPECT_FALSE(IsRealFolderBelow(root, root + L"Linked"));
  // Opened level by level, each level relative to the one above.
  EXPECT_TRUE(OpenRealFolderHandleBelow(root, root + L"Velmora\\Corvane\\Downloader").valid());
  EXPECT_FALSE(OpenRealFolderHandleBelow(root, root + L"Linked\\Downloader").valid());
  test::RemoveUnixSymlink(root + L"Linked");
}

// A walk lists a folder, then opens each subfolder relative to it. One
// swapped for a link to another folder in between is not opened: the name
// no longer leads to the folder that was listed.
TEST_F(NoFollow, AListedFolderSwappedForALinkIsNotOpened) {
  const std::wstring& root = work_.path();
  ::CreateDirectoryW((root + L"kept").c_str(), nullptr);
  ::CreateDirectoryW((root + L"swapped").c_str(), nullptr);
  const UniqueHandle top = OpenHeldFolder(root);
  std::vector<FolderEntryFacts> entries;
  ASSERT_TRUE(ListFolderEntries(top.get(), &entries));
  ASSERT_TRUE(test::SwapForUnixSymlink(root + L"swapped", root + L"aside", elsewhere_.path()));
  std::map<std::wstring, bool> opened;
  for (const FolderEntryFacts& entry : entries) {
    opened[entry.name] = OpenListedFolderIn(top.get(), entry).valid();
  }
  EXPECT_EQ(opened, (std::map<std::wstring, bool>{{L"kept", true}, {L"swapped", false}}));
  FolderEntryFacts now;
  ASSERT_TRUE(FindFolderEntry(top.get(), L"swapped", &now));
  EXPECT_TRUE(IsLinkListed(now));
  test::RemoveUnixSymlink(root + L"swapped");
}

// Wine shows a link to a file as the file itself: the system's answer about
// the opened file is replaced by one that says "link", as Windows gives it.
TEST_F(NoFollow, AFileThatTheSystemCallsALinkIsNeitherCopiedNorRead) {
  test::WriteBytes(elsewhere_.path() + L"source.log", "behind a link");
  const HandleAttributesReader system =
      SetHandleAttributesReader([](HANDLE) -> DWORD { return FILE_ATTRIBUTE_REPARSE_POINT; });
  const bool copied =
      CopyFileNoFollow(elsewhere_.path() + L"source.log", work_.path() + L"copy.log", true);
  const bool opened = OpenPlainFile(elsewhere_.path() + L"source.log", FILE_SHARE_READ).valid();
  SetHandleAttributesReader(system);
  EXPECT_FALSE(copied);
  EXPECT_FALSE(opened);
  EXPECT_FALSE(PathExists(work_.path() + L"copy.log"));
  EXPECT_TRUE(OpenPlainFile(elsewhere_.path() + L"source.log", FILE_SHARE_READ).valid());
  EXPECT_FALSE(
      OpenPlainFile(elsewhere_.path(), FILE_SHARE_READ, FILE_FLAG_BACKUP_SEMANTICS).valid());
}

// The tags Windows documents, presented on a plain file where Wine makes no
// reparse points: only name surrogates are links; the others hold their data
// and are read and copied whole.
DWORD g_presented_tag = 0;

TEST_F(NoFollow, OnlyNameSurrogateReparsePointsAreLinks) {
  const std::wstring source = elsewhere_.path() + L"tagged.log";
  test::WriteBytes(source, "the file's own data");
  const HandleAttributesReader system_attributes = SetHandleAttributesReader(
      [](HANDLE) -> DWORD { return FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT; });
  const ReparseTagReader system_tag =
      SetReparseTagReader([](HANDLE) -> DWORD { return g_presented_tag; });
  const struct {
    DWORD tag;
    bool read;
  } kTags[] = {
      {0xA000000C, false},  // IO_REPARSE_TAG_SYMLINK
      {0xA0000003, false},  // IO_REPARSE_TAG_MOUNT_POINT
      {0, false},           // a tag that could not be read
      {0x80000013, true},   // IO_REPARSE_TAG_DEDUP
      {0xC0000004, true},   // IO_REPARSE_TAG_HSM
      {0x80000006, true},   // IO_REPARSE_TAG_HSM2
      {0x9000001A, true},   // IO_REPARSE_TAG_CLOUD
      {0x80000008, true},   // IO_REPARSE_TAG_WIM
  };
  for (const auto& [tag, read] : kTags) {
    g_presented_tag = tag;
    const std::wstring copy = work_.path() + L"copy.log";
    ::DeleteFileW(copy.c_str());
    EXPECT_EQ(CopyFileNoFollow(source, copy, true), read) << std::hex << tag;
    EXPECT_EQ(test::ReadBytes(copy), read ? "the file's own data" : "") << std::hex << tag;
    EXPECT_EQ(IsPlainFile(source), read) << std::hex << tag;
  }
  SetHandleAttributesReader(system_attributes);
  SetReparseTagReader(system_tag);
  WIN32_FIND_DATAW entry = {};
  entry.dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
  entry.dwReserved0 = 0x80000013;
  EXPECT_FALSE(IsLinkEntry(entry));
  entry.dwReserved0 = 0xA000000C;
  EXPECT_TRUE(IsLinkEntry(entry));
  entry.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  EXPECT_FALSE(IsLinkEntry(entry));
}

TEST_F(NoFollow, AFileWithASecondNameIsNotCopied) {
  const std::wstring victim = elsewhere_.path() + L"account.ini";
  test::WriteBytes(victim, "another account's settings");
  ASSERT_TRUE(::CreateHardLinkW((work_.path() + L"linked.ini").c_str(), victim.c_str(), nullptr));
  EXPECT_FALSE(CopyFileNoFollow(work_.path() + L"linked.ini", work_.path() + L"copy.ini", true));
  EXPECT_FALSE(PathExists(work_.path() + L"copy.ini"));
}

TEST_F(NoFollow, CopyKeepsTheSourcesAttributesAndTime) {
  const std::wstring source = elsewhere_.path() + L"hidden.log";
  test::WriteBytes(source, "hidden and old");
  FILETIME old_time = {0x12345600, 0x01D00000};
  {
    UniqueHandle file(::CreateFileW(source.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &old_time));
  }
  ::SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(CopyFileNoFollow(source, work_.path() + L"hidden.log", false));
  WIN32_FILE_ATTRIBUTE_DATA copy;
  ASSERT_TRUE(
      ::GetFileAttributesExW((work_.path() + L"hidden.log").c_str(), GetFileExInfoStandard, &copy));
  EXPECT_EQ(copy.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(::CompareFileTime(&copy.ftLastWriteTime, &old_time), 0);
  EXPECT_EQ(test::ReadBytes(work_.path() + L"hidden.log"), "hidden and old");
  ::SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::SetFileAttributesW((work_.path() + L"hidden.log").c_str(), FILE_ATTRIBUTE_NORMAL);
  test::WriteBytes(elsewhere_.path() + L"empty.log", "");
  EXPECT_TRUE(
      CopyFileNoFollow(elsewhere_.path() + L"empty.log", work_.path() + L"empty.log", false));
  EXPECT_EQ(test::ReadBytes(work_.path() + L"empty.log"), "");
}

TEST_F(NoFollow, LongPathsGetTheExtendedForm) {
  EXPECT_EQ(ExtendedLengthPath(L"C:\\short"), L"C:\\short");
  const std::wstring deep = L"C:\\" + std::wstring(300, L'a');
  EXPECT_EQ(ExtendedLengthPath(deep), L"\\\\?\\" + deep);
  EXPECT_EQ(ExtendedLengthPath(L"\\\\server\\share\\" + std::wstring(300, L'b')),
            L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'b'));
}

TEST_F(NoFollow, TreesDeeperThanThePlainPathLimitAreRemoved) {
  std::wstring path = work_.path() + L"deep";
  ::CreateDirectoryW(path.c_str(), nullptr);
  for (int level = 0; level < 12; ++level) {
    path += L"\\" + std::wstring(30, static_cast<wchar_t>(L'a' + level));
    ASSERT_TRUE(::CreateDirectoryW(ExtendedLengthPath(path).c_str(), nullptr)) << level;
  }
  ASSERT_GT(path.size(), 300u);
  UniqueHandle file = CreateFreshFile(path + L"\\leaf.txt");
  ASSERT_TRUE(file.valid());
  file.reset();
  EXPECT_TRUE(RemoveTreeNoFollow(work_.path() + L"deep"));
  EXPECT_FALSE(PathExists(work_.path() + L"deep"));
}

}  // namespace
}  // namespace velmora
