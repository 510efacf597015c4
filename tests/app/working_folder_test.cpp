// The working folder is made fresh for every run, never through a link, and
// removed without following links: the program runs elevated in a folder that
// the user's own programs can write to.
#include "app/working_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/errors.h"
#include "common/no_follow_files.h"
#include "common/relative_files.h"
#include "common/strings.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::PathExists;
using test::ScratchFolder;

// A folder of someone else's files that a planted link points at.
class VictimFolder {
 public:
  VictimFolder() {
    ::CreateDirectoryW((root_.path() + L"sub").c_str(), nullptr);
    test::WriteBytes(root_.path() + L"precious.txt", "keep me");
    test::WriteBytes(root_.path() + L"sub\\deeper.txt", "keep me too");
  }
  std::wstring path() const { return root_.path() + L""; }
  bool Intact() const {
    return test::ReadBytes(root_.path() + L"precious.txt") == "keep me" &&
           test::ReadBytes(root_.path() + L"sub\\deeper.txt") == "keep me too";
  }

 private:
  ScratchFolder root_{L"victim"};
};

TEST(WorkingFolder, StaleFolderIsClearedBeforeARun) {
  ScratchFolder temp;
  const std::wstring stale = temp.path() + L"GetInfoDir\\AppPath\\";
  ::CreateDirectoryW((temp.path() + L"GetInfoDir").c_str(), nullptr);
  ::CreateDirectoryW(stale.c_str(), nullptr);
  test::WriteBytes(stale + L"old.log", "old");
  test::WriteBytes(temp.path() + L"GetInfoDir\\Velmora_Debug_Info.txt", "old");
  WorkingFolder folder = PrepareWorkingFolder(temp.path(), L"C:\\x\\VelmoraHelper.exe");
  EXPECT_EQ(folder.path(), temp.path() + L"GetInfoDir\\");
  EXPECT_TRUE(IsRealFolder(folder.path()));
  EXPECT_FALSE(PathExists(stale));
  EXPECT_FALSE(PathExists(folder.path() + L"Velmora_Debug_Info.txt"));
  EXPECT_TRUE(folder.Remove());
  EXPECT_FALSE(PathExists(folder.path()));
}

TEST(WorkingFolder, MissingParentsAreCreated) {
  ScratchFolder temp;
  const std::wstring nested = temp.path() + L"a\\b c\\";
  WorkingFolder folder = PrepareWorkingFolder(nested, L"C:\\x\\VelmoraHelper.exe");
  EXPECT_EQ(folder.path(), nested + L"GetInfoDir\\");
  EXPECT_TRUE(IsRealFolder(nested + L"GetInfoDir"));
}

TEST(WorkingFolder, WithNoPlaceOfItsOwnTheRunFailsWithoutCreatingTheProgramFolder) {
  ScratchFolder temp;
  test::WriteBytes(temp.path() + L"blocker", "x");
  EXPECT_THROW(
      PrepareWorkingFolder(temp.path() + L"blocker\\", temp.path() + L"prog\\VelmoraHelper.exe"),
      ReportError);
  EXPECT_FALSE(PathExists(temp.path() + L"prog"));
}

// A stale folder with a file inside held open without delete sharing cannot
// be made fresh: its files must neither reach the run nor be followed, and
// the run still gets a folder, new and its own, beside it.
struct StaleHeldCase {
  const char* where;
  bool temp_usable;
};

class StaleHeldFolder : public ::testing::TestWithParam<StaleHeldCase> {};

TEST_P(StaleHeldFolder, IsLeftAloneAndANewFolderIsMadeBesideIt) {
  ScratchFolder temp;
  ScratchFolder program;
  test::WriteBytes(temp.path() + L"blocker", "x");
  const std::wstring temp_dir = GetParam().temp_usable ? temp.path() : temp.path() + L"blocker\\";
  const std::wstring base = GetParam().temp_usable ? temp.path() : program.path();
  const std::wstring stale = base + L"GetInfoDir\\";
  ASSERT_TRUE(::CreateDirectoryW(stale.c_str(), nullptr));
  test::WriteBytes(stale + L"planted.txt", "planted");
  test::WriteBytes(stale + L"removable.txt", "old");
  UniqueHandle held(::CreateFileW((stale + L"planted.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);

  WorkingFolder folder = PrepareWorkingFolder(temp_dir, program.path() + L"VelmoraHelper.exe");
  EXPECT_NE(folder.path(), stale);
  EXPECT_TRUE(StartsWithNoCase(folder.path(), base + L"GetInfoDir-")) << folder.path();
  EXPECT_TRUE(IsRealFolder(folder.path()));
  EXPECT_TRUE(folder.PathLeadsToHeldFolder());
  EXPECT_FALSE(PathExists(folder.path() + L"planted.txt"));
  // What could be removed went; the held file stayed as it was.
  EXPECT_FALSE(PathExists(stale + L"removable.txt"));
  EXPECT_EQ(test::ReadBytes(stale + L"planted.txt"), "planted");
  test::WriteBytes(folder.path() + L"Velmora_Debug_Info.txt", "report");
  EXPECT_TRUE(folder.Remove());
  EXPECT_FALSE(PathExists(folder.path()));
  EXPECT_EQ(test::ReadBytes(stale + L"planted.txt"), "planted");
}

INSTANTIATE_TEST_SUITE_P(BothPlaces, StaleHeldFolder,
                         ::testing::Values(StaleHeldCase{"temp", true},
                                           StaleHeldCase{"program", false}),
                         [](const auto& info) { return std::string(info.param.where); });

TEST(WorkingFolder, IsHeldSoThatItCannotBeRenamedAway) {
  ScratchFolder temp;
  WorkingFolder folder = PrepareWorkingFolder(temp.path(), L"C:\\x\\VelmoraHelper.exe");
  const std::wstring path = WithoutTrailingBackslash(folder.path());
  EXPECT_FALSE(::MoveFileW(path.c_str(), (temp.path() + L"away").c_str()));
  EXPECT_TRUE(folder.PathLeadsToHeldFolder());
  EXPECT_NO_THROW(folder.CheckPathLeadsToHeldFolder());
  EXPECT_TRUE(folder.Remove());
  EXPECT_FALSE(folder.PathLeadsToHeldFolder());
  EXPECT_THROW(folder.CheckPathLeadsToHeldFolder(), ReportError);
}

TEST(WorkingFolder, FallbackBesideTheProgramIsMadeFresh) {
  ScratchFolder temp;
  ::CreateDirectoryW((temp.path() + L"prog").c_str(), nullptr);
  ::CreateDirectoryW((temp.path() + L"prog\\GetInfoDir").c_str(), nullptr);
  test::WriteBytes(temp.path() + L"prog\\GetInfoDir\\stale.txt", "old");
  test::WriteBytes(temp.path() + L"blocker", "x");
  WorkingFolder folder =
      PrepareWorkingFolder(temp.path() + L"blocker\\", temp.path() + L"prog\\VelmoraHelper.exe");
  EXPECT_EQ(folder.path(), temp.path() + L"prog\\GetInfoDir\\");
  EXPECT_TRUE(IsRealFolder(folder.path()));
  EXPECT_FALSE(PathExists(folder.path() + L"stale.txt"));
}

TEST(WorkingFolder, PlantedLinkNeverLosesItsTargetAndTheRunGetsARealFolder) {
  ScratchFolder temp;
  ScratchFolder program;
  VictimFolder victim;
  ASSERT_TRUE(test::MakeUnixSymlink(victim.path(), temp.path() + L"GetInfoDir"));
  ASSERT_TRUE(IsLinkPath(temp.path() + L"GetInfoDir"));

  WorkingFolder folder = PrepareWorkingFolder(temp.path(), program.path() + L"VelmoraHelper.exe");
  EXPECT_TRUE(victim.Intact());
  ASSERT_TRUE(IsRealFolder(folder.path()));
  // Either the link itself went (Windows) or the run made a folder of a new
  // name beside it (Wine, which cannot remove a link to a folder without
  // touching its target).
  if (IsLinkPath(temp.path() + L"GetInfoDir")) {
    EXPECT_TRUE(StartsWithNoCase(folder.path(), temp.path() + L"GetInfoDir-")) << folder.path();
  }
  test::WriteBytes(folder.path() + L"Velmora_Debug_Info.txt", "report");
  EXPECT_TRUE(folder.Remove());
  EXPECT_TRUE(victim.Intact());
  EXPECT_FALSE(PathExists(victim.path() + L"Velmora_Debug_Info.txt"));
}

TEST(RemoveFolder, RemovesANestedTreeWithReadOnlyFiles) {
  ScratchFolder temp;
  const std::wstring root = temp.path() + L"tree";
  ::CreateDirectoryW(root.c_str(), nullptr);
  ::CreateDirectoryW((root + L"\\a").c_str(), nullptr);
  ::CreateDirectoryW((root + L"\\a\\b").c_str(), nullptr);
  test::WriteBytes(root + L"\\a\\b\\deep.txt", "deep");
  test::WriteBytes(root + L"\\top.txt", "top");
  ::SetFileAttributesW((root + L"\\top.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ::SetFileAttributesW((root + L"\\a\\b\\deep.txt").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_TRUE(RemoveFolder(root + L"\\"));
  EXPECT_FALSE(PathExists(root));
}

TEST(RemoveFolder, MissingFolderReportsFailure) {
  ScratchFolder temp;
  EXPECT_FALSE(RemoveFolder(temp.path() + L"never-made"));
}

TEST(RemoveFolder, NeverDescendsIntoALinkInsideTheTree) {
  ScratchFolder temp;
  VictimFolder victim;
  const std::wstring root = temp.path() + L"tree";
  ::CreateDirectoryW(root.c_str(), nullptr);
  test::WriteBytes(root + L"\\own.txt", "ours");
  ASSERT_TRUE(test::MakeUnixSymlink(victim.path(), root + L"\\AppPath"));
  RemoveFolder(root);
  EXPECT_TRUE(victim.Intact());
  EXPECT_FALSE(PathExists(root + L"\\own.txt"));
}

// A subfolder swapped for a link to another folder while the deletion works
// on its sibling: the deletion must not empty the link's target.
TEST(RemoveFolder, NeverFollowsASubfolderSwappedForALinkDuringTheDeletion) {
  ScratchFolder temp;
  ScratchFolder aside{L"aside"};
  VictimFolder victim;
  const std::wstring root = temp.path() + L"tree\\";
  const std::wstring busy = root + L"a-many\\";
  const std::wstring swapped = root + L"z-swapped";
  ::CreateDirectoryW(root.c_str(), nullptr);
  ::CreateDirectoryW(busy.c_str(), nullptr);
  ::CreateDirectoryW(swapped.c_str(), nullptr);
  constexpr int kFiles = 800;
  for (int i = 0; i < kFiles; ++i) test::WriteBytes(busy + Format(L"f%04d", i), "x");
  test::WriteBytes(swapped + L"\\own.txt", "ours");

  // The racing helper: once the deletion has begun in "a-many", the sibling
  // is moved aside and a link to the victim put in its place.
  std::atomic<bool> swap_done{false};
  std::thread racer([&] {
    const std::wstring first = busy + L"f0000";
    const std::wstring last = busy + Format(L"f%04d", kFiles - 1);
    for (int i = 0; i < 20000; ++i) {
      if (!PathExists(first) || !PathExists(last)) break;
      ::Sleep(0);
    }
    swap_done = ::MoveFileW(swapped.c_str(), (aside.path() + L"moved").c_str()) &&
                test::MakeUnixSymlink(victim.path(), swapped);
  });
  RemoveFolder(root);
  racer.join();
  ASSERT_TRUE(swap_done) << "the swap came too late to race the deletion";
  EXPECT_TRUE(victim.Intact());
  EXPECT_FALSE(PathExists(busy));
  test::RemoveUnixSymlink(swapped);
}

// Wine resolves links on open, so a handle never shows a junction there; on
// Windows the handle opened as itself does. Through the seam a real folder is
// shown as a junction on its handle, as Windows would show one, and the
// deletion must remove it as a link and never enter it.
LONGLONG g_junction_id = 0;
FileFacts JunctionForOneFolder(HANDLE handle) {
  SetFileFactsReader(nullptr);
  FileFacts facts = ReadFileFacts(handle);
  if (FileIdOf(handle) == g_junction_id) {
    facts = {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_MOUNT_POINT};
  }
  SetFileFactsReader(JunctionForOneFolder);
  return facts;
}

TEST(RemoveFolder, AJunctionOnTheHandleIsNeverEntered) {
  ScratchFolder temp;
  const std::wstring root = temp.path() + L"tree\\";
  ::CreateDirectoryW(root.c_str(), nullptr);
  ::CreateDirectoryW((root + L"junction").c_str(), nullptr);
  test::WriteBytes(root + L"junction\\target.txt", "keep me");
  test::WriteBytes(root + L"own.txt", "ours");
  {
    UniqueHandle junction(::CreateFileW((root + L"junction").c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    g_junction_id = FileIdOf(junction.get());
  }
  ASSERT_NE(g_junction_id, 0);
  SetFileFactsReader(JunctionForOneFolder);
  RemoveFolder(root);
  SetFileFactsReader(nullptr);
  EXPECT_EQ(test::ReadBytes(root + L"junction\\target.txt"), "keep me");
  EXPECT_FALSE(PathExists(root + L"own.txt"));
}

TEST(RemoveFolder, AFolderThatIsALinkLosesOnlyTheLink) {
  ScratchFolder temp;
  VictimFolder victim;
  ASSERT_TRUE(test::MakeUnixSymlink(victim.path(), temp.path() + L"GetInfoDir"));
  RemoveFolder(temp.path() + L"GetInfoDir\\");
  EXPECT_TRUE(victim.Intact());
}

}  // namespace
}  // namespace velmora
