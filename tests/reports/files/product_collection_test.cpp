#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "app/working_folder.h"
#include "common/no_follow_files.h"
#include "common/relative_files.h"
#include "common/strings.h"
#include "environment/app_frame.h"
#include "environment/folders.h"
#include "environment/product_install.h"
#include "reports/files/file_fingerprint.h"
#include "reports/files/files_report.h"
#include "reports/files/find_files.h"
#include "reports/files/md5.h"
#include "reports/files/product_files.h"
#include "reports/files/product_listing.h"
#include "support/registry_seed.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::ScratchFolder;
using test::SeededKey;

constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring DigestOfFile(const std::wstring& path) {
  const std::string bytes = test::ReadBytes(path);
  return Md5Text(bytes.data(), bytes.size());
}

void MakeFolders(const std::wstring& root, std::initializer_list<const wchar_t*> folders) {
  for (const wchar_t* folder : folders) ::CreateDirectoryW((root + folder).c_str(), nullptr);
}

// Every file below a folder, as relative path and content.
std::map<std::wstring, std::string> FilesBelow(const std::wstring& folder) {
  std::map<std::wstring, std::string> files;
  for (const std::wstring& entry : ListFolderTree(folder)) {
    const std::wstring path = entry.substr(0, entry.rfind(L'='));
    files[path.substr(folder.size())] = test::ReadBytes(path);
  }
  return files;
}

ReportList ReportLines(const std::string& bytes) {
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::wstring text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  ReportList lines;
  size_t start = 0;
  for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "the last entry is followed by CR LF";
  return lines;
}

// A product installation as its installer leaves it, registered in the 32-bit
// view as version 4 Pro, the settings of the user running the program and the
// downloader's logs; and a few more uninstall entries of other versions.
class SeededProduct : public ::testing::Test {
 protected:
  void SetUp() override {
    AppFrame = std::make_unique<const TAppFrame>();
    ASSERT_FALSE(AppFrame->AppDataDir().empty());
    ASSERT_FALSE(AppFrame->CommonAppDataDir().empty());
    settings_ = AppFrame->AppDataDir() + L"\\Velmora\\Corvane\\";
    downloader_ = AppFrame->CommonAppDataDir() + L"\\Velmora\\Corvane\\Downloader\\";

    const std::wstring& i = install_.path();
    MakeFolders(i, {L"Update", L"Update\\old", L"CorvaneReport", L"CorvaneReport\\2024", L"Lang"});
    ::CopyFileW((test::BinDir() + L"\\fixed_version.dll").c_str(), (i + L"Corvane.exe").c_str(),
                FALSE);
    for (const auto& [name, content] : std::map<std::wstring, std::string>{
             {L"readme.txt", "read me"},
             {L"crash.dmp", "dump"},
             {L"defrag.log", "log of the last pass"},
             {L"hidden.log", "hidden log"},
             {L"RdmConfig.ini", "[rdm]"},
             {L"desktop.ini", "[.ShellClassInfo]"},
             {L"other.dat", "not collected"},
             {L"Update\\patch.exe", "patch"},
             {L"Update\\update.log", "update log"},
             {L"Update\\desktop.ini", "[.ShellClassInfo]"},
             {L"Update\\THUMBS.DB", "thumbnails"},
             {L"Update\\old\\stale.bin", "a sub-sub-folder"},
             {L"CorvaneReport\\report1.xml", "<report/>"},
             {L"CorvaneReport\\2024\\deep.txt", "a sub-sub-folder"},
         }) {
      test::WriteBytes(i + name, content);
    }
    ::SetFileAttributesW((i + L"hidden.log").c_str(), FILE_ATTRIBUTE_HIDDEN);

    ::SHCreateDirectoryExW(nullptr, (settings_ + L"sub").c_str(), nullptr);
    ::SHCreateDirectoryExW(nullptr, downloader_.c_str(), nullptr);
    test::WriteBytes(settings_ + L"Corvane.ini", "[settings]");
    test::WriteBytes(settings_ + L"desktop.ini", "[.ShellClassInfo]");
    test::WriteBytes(settings_ + L"notes.txt", "not a settings file");
    test::WriteBytes(settings_ + L"sub\\deeper.ini", "[deeper]");
    test::WriteBytes(downloader_ + L"download.log", "downloaded");
    test::WriteBytes(downloader_ + L"setup.exe", "not a log");

    v4_pro_ = std::make_unique<SeededKey>(
        HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"Corvane 4 Pro_is1", KEY_WOW64_32KEY);
    v4_pro_->Text(L"InstallLocation", WithoutTrailingBackslash(i));
  }
  void TearDown() override {
    RemoveFolder(AppFrame->AppDataDir() + L"\\Velmora");
    RemoveFolder(AppFrame->CommonAppDataDir() + L"\\Velmora");
    AppFrame.reset();
  }
  // Removes the registration: the product counts as not installed.
  void Uninstall() { v4_pro_.reset(); }

  ScratchFolder install_{L"Corvane install"};
  ScratchFolder work_{L"GetInfoDir test"};
  std::wstring settings_, downloader_;
  std::unique_ptr<SeededKey> v4_pro_;
};

TEST_F(SeededProduct, FileListInItsOrderWithoutSubfoldersOrExcludedNames) {
  const std::wstring& i = install_.path();
  const ReportList list = BuildProductFileList();
  // Each group in its place; within a group the file system's order.
  const std::vector<std::set<std::wstring>> groups = {
      {i + L"Update\\patch.exe", i + L"Update\\update.log"},
      {i + L"CorvaneReport\\report1.xml"},
      {i + L"readme.txt"},
      {i + L"crash.dmp"},
      {i + L"defrag.log", i + L"hidden.log"},
      {i + L"RdmConfig.ini"},
      {settings_ + L"Corvane.ini"},
      {downloader_ + L"download.log"},
  };
  size_t at = 0;
  for (const std::set<std::wstring>& group : groups) {
    ASSERT_LE(at + group.size(), list.size());
    EXPECT_EQ(std::set<std::wstring>(list.begin() + at, list.begin() + at + group.size()), group);
    at += group.size();
  }
  EXPECT_EQ(at, list.size());
}

TEST_F(SeededProduct, CopiesLandInTheirPlacesWithoutOverwriting) {
  const std::wstring& w = work_.path();
  ::CreateDirectoryW((w + L"AppPath").c_str(), nullptr);
  test::WriteBytes(w + L"AppPath\\readme.txt", "already here");
  CopyAppDataSettings(w);
  CopyProductFiles(w);

  const std::wstring& i = install_.path();
  const std::map<std::wstring, std::string> expected = {
      {L"AppPath\\Update\\patch.exe", "patch"},
      {L"AppPath\\Update\\update.log", "update log"},
      {L"AppPath\\CorvaneReport\\report1.xml", "<report/>"},
      {L"AppPath\\readme.txt", "already here"},
      {L"AppPath\\crash.dmp", "dump"},
      {L"AppPath\\defrag.log", "log of the last pass"},
      {L"AppPath\\hidden.log", "hidden log"},
      {L"AppPath\\RdmConfig.ini", "[rdm]"},
      {L"AppData\\Corvane.ini", "[settings]"},
      {L"AppData\\desktop.ini", "[.ShellClassInfo]"},  // the settings copy takes every *.ini
      {L"Downloader\\download.log", "downloaded"},
  };
  EXPECT_EQ(FilesBelow(w), expected);
  EXPECT_TRUE(::GetFileAttributesW((w + L"AppPath\\hidden.log").c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(DigestOfFile(w + L"AppPath\\Update\\patch.exe"), GetFileMd5(i + L"Update\\patch.exe"));
}

TEST_F(SeededProduct, SettingsCopyReplacesButFileCopyKeeps) {
  const std::wstring& w = work_.path();
  ::CreateDirectoryW((w + L"AppData").c_str(), nullptr);
  test::WriteBytes(w + L"AppData\\Corvane.ini", "stale");
  CopyAppDataSettings(w);
  EXPECT_EQ(test::ReadBytes(w + L"AppData\\Corvane.ini"), "[settings]");
  test::WriteBytes(w + L"AppData\\Corvane.ini", "written meanwhile");
  CopyProductFiles(w);
  EXPECT_EQ(test::ReadBytes(w + L"AppData\\Corvane.ini"), "written meanwhile");
}

TEST_F(SeededProduct, WithoutInstallationOnlySettingsAndDownloaderLogs) {
  Uninstall();
  const std::wstring& w = work_.path();
  CopyAppDataSettings(w);
  CopyProductFiles(w);
  const std::map<std::wstring, std::string> expected = {
      {L"AppData\\Corvane.ini", "[settings]"},
      {L"AppData\\desktop.ini", "[.ShellClassInfo]"},
      {L"Downloader\\download.log", "downloaded"},
  };
  EXPECT_EQ(FilesBelow(w), expected);

  SaveProductListing(w);
  ReportList headings;
  for (const ProductListingRow& row : kProductListing) {
    headings.insert(headings.end(), {L"", row.heading, L""});
  }
  EXPECT_EQ(ReportLines(test::ReadBytes(w + L"FilesInfo.txt")), headings);
}

TEST_F(SeededProduct, ListingBlocksPerVersion) {
  ScratchFolder empty_version(L"Corvane 6 without files");
  MakeFolders(empty_version.path(), {L"bin"});
  SeededKey v6(HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"Corvane_is1", KEY_WOW64_32KEY);
  v6.Text(L"InstallLocation", empty_version.path(), REG_EXPAND_SZ);
  SeededKey v3_pro(HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"Corvane 3 Pro_is1",
                   KEY_WOW64_32KEY);
  v3_pro.Dword(L"InstallLocation", 1);
  SeededKey v2(HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"Corvane 2_is1", KEY_WOW64_32KEY);
  v2.Text(L"DisplayName", L"Corvane 2 without a location");
  // Present only in the 64-bit view, where the 32-bit installers never write.
  SeededKey v3_native(HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"Corvane 3_is1",
                      KEY_WOW64_64KEY);
  v3_native.Text(L"InstallLocation", install_.path());

  SaveProductListing(work_.path());
  const ReportList lines = ReportLines(test::ReadBytes(work_.path() + L"FilesInfo.txt"));

  const ReportList headings = {
      L"", L"===== Corvane v2 pro ", L"", L"", L"===== Corvane v3 free", L"",
      L"", L"===== Corvane v3 pro ", L"", L"", L"===== Corvane v4 free", L"",
      L"", L"===== Corvane v4 Pro",  L""};
  ASSERT_GT(lines.size(), headings.size());
  EXPECT_EQ(ReportList(lines.begin(), lines.begin() + headings.size()), headings);

  const std::wstring& i = install_.path();
  std::set<std::wstring> expected;
  for (const wchar_t* name :
       {L"Corvane.exe", L"readme.txt", L"crash.dmp", L"defrag.log", L"hidden.log", L"RdmConfig.ini",
        L"desktop.ini", L"other.dat", L"Update\\patch.exe", L"Update\\update.log",
        L"Update\\desktop.ini", L"Update\\THUMBS.DB", L"Update\\old\\stale.bin",
        L"CorvaneReport\\report1.xml", L"CorvaneReport\\2024\\deep.txt"}) {
    const std::wstring path = i + name;
    const std::wstring version = std::wstring(name) == L"Corvane.exe" ? L"1.0.0.12" : L"";
    expected.insert(path + L", " + version + L", " + std::to_wstring(test::ReadBytes(path).size()) +
                    L", " + DigestOfFile(path));
  }
  const ReportList files(lines.begin() + headings.size(), lines.end());
  EXPECT_EQ(std::set<std::wstring>(files.begin(), files.end()), expected);
  EXPECT_EQ(files.size(), expected.size());
  // Breadth first: the files of each level before those of the next.
  const auto depth = [&](const std::wstring& line) {
    return std::count(line.begin() + i.size(), line.begin() + line.find(L", "), L'\\');
  };
  for (size_t k = 1; k < files.size(); ++k) {
    EXPECT_LE(depth(files[k - 1]), depth(files[k])) << files[k];
  }
}

// The Update folder's files, and the swap made when the first of them is
// opened to be read: after the walk has listed the folder, before it is hashed.
std::set<LONGLONG> g_update_files;
std::wstring g_update_folder, g_update_aside, g_update_target;
bool g_update_swapped = false;
HandleAttributesReader g_unswapped_attributes = nullptr;

DWORD SwapUpdateOnItsFirstRead(HANDLE file) {
  if (!g_update_swapped && g_update_files.count(FileIdOf(file)) != 0) {
    g_update_swapped = test::SwapForUnixSymlink(g_update_folder, g_update_aside, g_update_target);
  }
  return g_unswapped_attributes(file);
}

// A folder of the installation swapped for a link to a folder holding other
// files of the same names while the listing hashes it: the listing still
// shows the installation's own files, with their digests and versions.
TEST_F(SeededProduct, AFolderSwappedForALinkWhileItIsListedShowsOnlyItsOwnFiles) {
  ScratchFolder other(L"other update");
  const std::wstring& i = install_.path();
  const std::wstring theirs = other.path() + L"theirs\\";
  MakeFolders(other.path(), {L"theirs"});
  ::CopyFileW((test::BinDir() + L"\\fixed_version.dll").c_str(), (theirs + L"patch.exe").c_str(),
              FALSE);
  test::WriteBytes(theirs + L"update.log", "their log");
  std::set<std::wstring> expected;
  for (const std::wstring name :
       {L"Corvane.exe", L"readme.txt", L"crash.dmp", L"defrag.log", L"hidden.log", L"RdmConfig.ini",
        L"desktop.ini", L"other.dat", L"Update\\patch.exe", L"Update\\update.log",
        L"Update\\desktop.ini", L"Update\\THUMBS.DB", L"Update\\old\\stale.bin",
        L"CorvaneReport\\report1.xml", L"CorvaneReport\\2024\\deep.txt"}) {
    const std::wstring path = i + name;
    expected.insert(path + L", " + (name == L"Corvane.exe" ? L"1.0.0.12" : L"") + L", " +
                    std::to_wstring(test::ReadBytes(path).size()) + L", " + DigestOfFile(path));
  }
  for (const wchar_t* name : {L"patch.exe", L"update.log", L"desktop.ini", L"THUMBS.DB"}) {
    g_update_files.insert(FileIdOf(OpenPlainFile(i + L"Update\\" + name, FILE_SHARE_READ).get()));
  }
  g_update_folder = i + L"Update";
  g_update_aside = other.path() + L"ours";
  g_update_target = theirs;
  g_unswapped_attributes = SetHandleAttributesReader(SwapUpdateOnItsFirstRead);
  const ReportList block = ListProductInstallation(L"Corvane 4 Pro_is1", L"===== Corvane v4 Pro");
  SetHandleAttributesReader(g_unswapped_attributes);
  test::RemoveUnixSymlink(g_update_folder);
  ::MoveFileW(g_update_aside.c_str(), g_update_folder.c_str());
  ASSERT_TRUE(g_update_swapped);
  ASSERT_GT(block.size(), 3u);
  EXPECT_EQ(std::set<std::wstring>(block.begin() + 3, block.end()), expected);
}

// Users may create folders under the machine's application data and in their
// own; an administrator may have put the product's folders anywhere. A link
// where the product's folder should be, or anywhere on the way to it, could
// lead into another account's files: such a folder counts as absent, and the
// walks never go into a link.
// A racing helper swaps the settings folder for a link to another folder as
// soon as the first settings file has been copied.
TEST_F(SeededProduct, ASettingsFolderSwappedDuringTheCopyBringsNoOtherFiles) {
  ScratchFolder elsewhere(L"other settings");
  for (int n = 0; n < 300; ++n) {
    test::WriteBytes(settings_ + Format(L"s%03d.ini", n), "ours");
    test::WriteBytes(elsewhere.path() + Format(L"s%03d.ini", n), "not ours");
  }
  const std::wstring settings = WithoutTrailingBackslash(settings_);
  const std::wstring aside = settings + L" aside";
  std::atomic<bool> copied{false};
  bool swapped = false;
  std::thread racer([&] {
    while (!copied && !test::PathExists(work_.path() + L"AppData\\Corvane.ini")) ::Sleep(0);
    swapped = !copied && test::SwapForUnixSymlink(settings, aside, elsewhere.path());
  });
  CopyAppDataSettings(work_.path());
  copied = true;
  racer.join();
  EXPECT_TRUE(swapped) << "the copy ended before the swap";
  size_t ours = 0;
  for (const auto& [name, content] : FilesBelow(work_.path() + L"AppData\\")) {
    EXPECT_NE(content, "not ours") << name;
    ours += content == "ours";
  }
  EXPECT_GT(ours, 0u);
  if (swapped) {
    test::RemoveUnixSymlink(settings);
    ::MoveFileW(aside.c_str(), settings.c_str());
  }
}

// Wine checks no file's rights against another token, so the system's answer
// on an opened file is replaced by one that refuses "admin-only.ini" to a
// thread acting as someone else, as Windows refuses a file that the user may
// not read (a link or second name of an administrator's file).
LONGLONG g_admin_only_file = 0;
LONGLONG g_admin_only_program = 0;
HandleAttributesReader g_system_attributes = nullptr;

bool ActingAsAnotherToken() {
  UniqueHandle token;
  return ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) != FALSE;
}

DWORD AttributesAsTheUserMayRead(HANDLE file) {
  const LONGLONG id = FileIdOf(file);
  if (ActingAsAnotherToken() && (id == g_admin_only_file || id == g_admin_only_program)) {
    return INVALID_FILE_ATTRIBUTES;
  }
  return g_system_attributes(file);
}

UniqueHandle OwnTokenToActWith() {
  UniqueHandle own, duplicate;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, own.put())) {
    ::DuplicateTokenEx(own.get(), TOKEN_IMPERSONATE | TOKEN_QUERY | TOKEN_DUPLICATE, nullptr,
                       SecurityImpersonation, TokenImpersonation, duplicate.put());
  }
  return duplicate;
}

UniqueHandle NoConsoleUser() {
  return {};
}

TEST_F(SeededProduct, SourcesAreReadWithTheConsoleUsersRightsWhereTheyCanBeHad) {
  test::WriteBytes(settings_ + L"admin-only.ini", "the administrator's");
  g_admin_only_file = FileIdOf(OpenPlainFile(settings_ + L"admin-only.ini", FILE_SHARE_READ).get());
  ASSERT_NE(g_admin_only_file, 0);
  // The same holds for what the listing of the installation and the files
  // report read.
  test::WriteBytes(install_.path() + L"admin-only.dll", "the administrator's");
  g_admin_only_program =
      FileIdOf(OpenPlainFile(install_.path() + L"admin-only.dll", FILE_SHARE_READ).get());
  g_system_attributes = SetHandleAttributesReader(AttributesAsTheUserMayRead);
  const struct {
    SourceReaderToken token;
    bool admin_only_copied;
  } cases[] = {{OwnTokenToActWith, false}, {NoConsoleUser, true}};
  for (const auto& [token, admin_only_copied] : cases) {
    ScratchFolder work(L"GetInfoDir as the user");
    const SourceReaderToken previous = SetSourceReaderToken(token);
    CopyAppDataSettings(work.path());
    CopyProductFiles(work.path());
    const ReportList listing = ListProductInstallation(L"Corvane 4 Pro_is1", L"heading");
    ProductInstallPath = WithoutTrailingBackslash(install_.path());
    ReportList files;
    AddFilesReport(files);
    ProductInstallPath.clear();
    SetSourceReaderToken(previous);
    EXPECT_EQ(test::PathExists(work.path() + L"AppData\\admin-only.ini"), admin_only_copied);
    const std::wstring digest = admin_only_copied ? L"bc1ddc2fe5e008599705bdb79910a765"
                                                  : L"d41d8cd98f00b204e9800998ecf8427e";
    const std::wstring line = install_.path() + L"admin-only.dll, , 19, " + digest;
    EXPECT_EQ(std::count_if(listing.begin(), listing.end(),
                            [&](const std::wstring& l) { return l == line; }),
              1);
    const std::wstring files_line = L"admin-only.dll   Ver:   MD5:" + digest + L"   DT:";
    EXPECT_EQ(std::count_if(files.begin(), files.end(),
                            [&](const std::wstring& l) { return l.rfind(files_line, 0) == 0; }),
              1);
    EXPECT_EQ(test::ReadBytes(work.path() + L"AppData\\Corvane.ini"), "[settings]");
    EXPECT_EQ(test::ReadBytes(work.path() + L"Downloader\\download.log"), "downloaded");
    EXPECT_FALSE(ActingAsAnotherToken()) << "the thread is itself again after every open";
  }
  SetHandleAttributesReader(g_system_attributes);
}

// A settings file that is a second name of another account's file is left out.
TEST_F(SeededProduct, AHardLinkedSettingsFileIsNotCopied) {
  ScratchFolder elsewhere(L"another account's settings");
  test::WriteBytes(elsewhere.path() + L"account.ini", "not ours");
  ASSERT_TRUE(::CreateHardLinkW((settings_ + L"linked.ini").c_str(),
                                (elsewhere.path() + L"account.ini").c_str(), nullptr));
  CopyAppDataSettings(work_.path());
  CopyProductFiles(work_.path());
  EXPECT_TRUE(test::PathExists(work_.path() + L"AppData\\Corvane.ini"));
  EXPECT_FALSE(test::PathExists(work_.path() + L"AppData\\linked.ini"));
}

TEST_F(SeededProduct, LinksOnTheWayToTheProductsFoldersAreNotFollowed) {
  ScratchFolder elsewhere(L"another account's files");
  test::WriteBytes(elsewhere.path() + L"secret.log", "not ours");
  test::WriteBytes(elsewhere.path() + L"secret.ini", "not ours");
  test::WriteBytes(elsewhere.path() + L"secret.dll", "not ours");
  const std::wstring& i = install_.path();
  ASSERT_TRUE(RemoveFolder(i + L"CorvaneReport"));
  ASSERT_TRUE(test::MakeUnixSymlink(elsewhere.path(), i + L"CorvaneReport"));
  ASSERT_TRUE(test::MakeUnixSymlink(elsewhere.path(), i + L"Lang\\elsewhere"));
  ASSERT_TRUE(RemoveFolder(AppFrame->CommonAppDataDir() + L"\\Velmora\\Corvane"));
  ::CreateDirectoryW((elsewhere.path() + L"Corvane").c_str(), nullptr);
  ASSERT_TRUE(test::MakeUnixSymlink(elsewhere.path() + L"Corvane",
                                    AppFrame->CommonAppDataDir() + L"\\Velmora\\Corvane"));
  ::CreateDirectoryW((elsewhere.path() + L"Corvane\\Downloader").c_str(), nullptr);
  test::WriteBytes(elsewhere.path() + L"Corvane\\Downloader\\other.log", "not ours");
  const std::wstring settings_folder = AppFrame->AppDataDir() + L"\\Velmora\\Corvane";
  ASSERT_TRUE(RemoveFolder(settings_folder));
  ASSERT_TRUE(test::MakeUnixSymlink(elsewhere.path(), settings_folder));

  const ReportList list = BuildProductFileList();
  EXPECT_EQ(std::count_if(list.begin(), list.end(),
                          [&](const std::wstring& path) {
                            return !StartsWithNoCase(path, i) ||
                                   StartsWithNoCase(path, i + L"CorvaneReport");
                          }),
            0);
  CopyAppDataSettings(work_.path());
  CopyProductFiles(work_.path());
  EXPECT_FALSE(test::PathExists(work_.path() + L"AppData"));
  EXPECT_FALSE(test::PathExists(work_.path() + L"Downloader"));
  EXPECT_FALSE(test::PathExists(work_.path() + L"AppPath\\CorvaneReport"));
  for (const std::wstring& entry : ListFolderTree(i)) {
    EXPECT_EQ(entry.find(L"secret"), std::wstring::npos) << entry;
  }
  ReportList found;
  FindFiles(i, found, FindKind::kFiles, L"", true);
  for (const std::wstring& path : found)
    EXPECT_EQ(path.find(L"secret"), std::wstring::npos) << path;

  for (const std::wstring& link : {i + L"CorvaneReport", i + L"Lang\\elsewhere", settings_folder,
                                   AppFrame->CommonAppDataDir() + L"\\Velmora\\Corvane"}) {
    test::RemoveUnixSymlink(link);
  }
}

TEST(FolderTree, SizesAndMissingFolders) {
  ScratchFolder folder(L"tree");
  ::CreateDirectoryW((folder.path() + L"a").c_str(), nullptr);
  test::WriteBytes(folder.path() + L"a\\twelve.bin", "twelve bytes");
  test::WriteBytes(folder.path() + L"empty.txt", "");
  EXPECT_EQ(ListFolderTree(WithoutTrailingBackslash(folder.path())),
            (ReportList{folder.path() + L"empty.txt=0", folder.path() + L"a\\twelve.bin=12"}));
  EXPECT_TRUE(ListFolderTree(folder.path() + L"missing\\").empty());
  EXPECT_TRUE(ListFolderTree(L"").empty());
}

}  // namespace
}  // namespace velmora
