#include "reports/files/find_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "common/strings.h"
#include "reports/files/visited_folders.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::ScratchFolder;

// A product folder with files of mixed case, files that only look like
// program files, a hidden file, and folders to walk into or to skip. (".svn"
// and ".SVN" live in different folders: Wine, like Windows, would take them
// for one name in the same folder.)
class SearchTree : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* folder :
         {L"sub", L"sub\\deeper", L".svn", L".svn\\inner", L"sub\\.SVN", L"empty"}) {
      ::CreateDirectoryW((root() + folder).c_str(), nullptr);
    }
    for (const wchar_t* file :
         {L"Corvane.EXE", L"engine.dll", L"x.exe.bak", L"README", L"notes.txt", L"sub\\boot.sys",
          L"sub\\deeper\\helper.Dll", L"sub\\deeper\\data.bin", L".svn\\base.exe",
          L".svn\\inner\\old.dll", L"sub\\.SVN\\kept.exe", L"hidden.exe"}) {
      test::WriteBytes(root() + file, "content");
    }
    ::SetFileAttributesW((root() + L"hidden.exe").c_str(),
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  }
  const std::wstring& root() const { return folder_.path(); }
  std::set<std::wstring> Relative(const ReportList& list) const {
    std::set<std::wstring> names;
    for (const std::wstring& path : list) {
      EXPECT_EQ(path.compare(0, root().size(), root()), 0) << path;
      names.insert(path.substr(root().size()));
    }
    EXPECT_EQ(names.size(), list.size()) << "an entry was listed twice";
    return names;
  }

  ScratchFolder folder_{L"find files"};
};

TEST_F(SearchTree, MasksMatchExtensionsWithoutRegardToCase) {
  ReportList list;
  FindFiles(root(), list, FindKind::kFiles, L"*.exe|*.dll|*.sys", true);
  EXPECT_EQ(Relative(list),
            (std::set<std::wstring>{L"Corvane.EXE", L"engine.dll", L"hidden.exe", L"sub\\boot.sys",
                                    L"sub\\deeper\\helper.Dll", L"sub\\.SVN\\kept.exe"}));
}

TEST_F(SearchTree, CapitalMasksAndEmptyPartsWork) {
  ReportList list;
  FindFiles(root(), list, FindKind::kFiles, L"*.TXT||*", false);
  EXPECT_EQ(Relative(list), (std::set<std::wstring>{L"notes.txt"}));
}

TEST_F(SearchTree, NoMasksTakeEveryFileAndNoRecursionStaysOnTop) {
  ReportList list;
  FindFiles(root(), list, FindKind::kFiles, L"", false);
  EXPECT_EQ(Relative(list), (std::set<std::wstring>{L"Corvane.EXE", L"engine.dll", L"x.exe.bak",
                                                    L"README", L"notes.txt", L"hidden.exe"}));
}

TEST_F(SearchTree, FoldersOnlyWithoutTrailingBackslash) {
  ReportList list;
  FindFiles(WithoutTrailingBackslash(root()), list, FindKind::kFolders, L"*.exe", true);
  EXPECT_EQ(Relative(list),
            (std::set<std::wstring>{L"sub", L"sub\\deeper", L"sub\\.SVN", L"empty"}));
}

TEST_F(SearchTree, WalkOnlyListsNothing) {
  ReportList list = {L"kept"};
  FindFiles(root(), list, FindKind::kNothing, L"", true);
  EXPECT_EQ(list, ReportList{L"kept"});
}

// Kind 3 lists folders with a backslash; every folder's entries follow its
// own line directly, whatever order the file system gives siblings in.
TEST_F(SearchTree, FilesAndFoldersDepthFirst) {
  ReportList list = {L"entry of the caller"};
  FindFiles(root(), list, FindKind::kFilesAndFolders, L"", true);
  ASSERT_EQ(list.front(), L"entry of the caller");
  list.erase(list.begin());
  EXPECT_EQ(
      Relative(list),
      (std::set<std::wstring>{L"sub\\", L"sub\\deeper\\", L"sub\\.SVN\\", L"empty\\",
                              L"Corvane.EXE", L"engine.dll", L"x.exe.bak", L"README", L"notes.txt",
                              L"hidden.exe", L"sub\\boot.sys", L"sub\\deeper\\helper.Dll",
                              L"sub\\deeper\\data.bin", L"sub\\.SVN\\kept.exe"}));
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].back() != L'\\') continue;
    const auto below = [&](const std::wstring& p) {
      return p.compare(0, list[i].size(), list[i]) == 0;
    };
    const size_t count = std::count_if(list.begin(), list.end(), below) - 1;
    for (size_t k = i + 1; k <= i + count; ++k) {
      EXPECT_TRUE(below(list[k])) << list[k] << " inside the block of " << list[i];
    }
  }
}

TEST(FindFiles, EmptyOrMissingFolderAddsNothing) {
  ReportList list;
  FindFiles(L"", list, FindKind::kFilesAndFolders, L"", true);
  FindFiles(L"C:\\no such folder", list, FindKind::kFilesAndFolders, L"", true);
  EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// Some redirectors give every folder the index 0: walks must not take the
// second such folder for the first.
TEST(VisitedFolders, AnIndexOfZeroTellsNothing) {
  VisitedFolders visited;
  EXPECT_TRUE(visited.FirstVisit(7, 0));
  EXPECT_TRUE(visited.FirstVisit(7, 0));
  EXPECT_TRUE(visited.FirstVisit(7, 42));
  EXPECT_FALSE(visited.FirstVisit(7, 42));
  EXPECT_TRUE(visited.FirstVisit(8, 42));
}

}  // namespace
}  // namespace velmora
