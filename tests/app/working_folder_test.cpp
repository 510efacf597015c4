// The working folder is made fresh for every run, never through a link, and
// removed without following links: the program runs elevated in a folder that
// the user's own programs can write to.
#include "app/working_folder.h"

#include <gtest/gtest.h>

#include "common/no_follow_files.h"
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

TEST(WorkingFolder, FallsBackBesideTheProgramWithoutCreatingTheProgramFolder) {
  ScratchFolder temp;
  test::WriteBytes(temp.path() + L"blocker", "x");
  WorkingFolder folder =
      PrepareWorkingFolder(temp.path() + L"blocker\\", temp.path() + L"prog\\VelmoraHelper.exe");
  EXPECT_EQ(folder.path(), temp.path() + L"prog\\GetInfoDir\\");
  EXPECT_FALSE(PathExists(temp.path() + L"prog"));
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
  // Either the link itself went (Windows) or the run moved beside the program
  // (Wine, which cannot remove a link to a folder without touching its target).
  if (IsLinkPath(temp.path() + L"GetInfoDir")) {
    EXPECT_EQ(folder.path(), program.path() + L"GetInfoDir\\");
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

TEST(RemoveFolder, AFolderThatIsALinkLosesOnlyTheLink) {
  ScratchFolder temp;
  VictimFolder victim;
  ASSERT_TRUE(test::MakeUnixSymlink(victim.path(), temp.path() + L"GetInfoDir"));
  RemoveFolder(temp.path() + L"GetInfoDir\\");
  EXPECT_TRUE(victim.Intact());
}

}  // namespace
}  // namespace velmora
