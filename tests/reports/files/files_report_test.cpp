#include "reports/files/files_report.h"

#include <gtest/gtest.h>

#include <set>

#include "common/date_text.h"
#include "common/handles.h"
#include "common/no_follow_files.h"
#include "common/strings.h"
#include "environment/product_install.h"
#include "reports/files/md5.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::ScratchFolder;

void SetLastWrite(const std::wstring& path, const SYSTEMTIME& local) {
  FILETIME local_time, utc;
  ::SystemTimeToFileTime(&local, &local_time);
  ::LocalFileTimeToFileTime(&local_time, &utc);
  UniqueHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.valid()) << path;
  ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &utc));
}

std::wstring DigestOfFile(const std::wstring& path) {
  const std::string bytes = test::ReadBytes(path);
  return Md5Text(bytes.data(), bytes.size());
}

// Restores the process-wide installation folder after each test.
class FilesReport : public ::testing::Test {
 protected:
  void TearDown() override { ProductInstallPath.clear(); }
  ScratchFolder install_{L"Corvane install"};
};

TEST_F(FilesReport, ProgramAtTheTopAndDriverInASubfolder) {
  const std::wstring program = install_.path() + L"Corvane.exe";
  const std::wstring driver = install_.path() + L"drivers\\vdisk.sys";
  ASSERT_TRUE(
      ::CopyFileW((test::BinDir() + L"\\fixed_version.dll").c_str(), program.c_str(), FALSE));
  ::CreateDirectoryW((install_.path() + L"drivers").c_str(), nullptr);
  test::WriteBytes(driver, "driver without version resource");
  test::WriteBytes(install_.path() + L"readme.txt", "not a program file");
  test::WriteBytes(install_.path() + L"Corvane.exe.bak", "not a program file either");
  const SYSTEMTIME midnight = {2024, 1, 0, 31, 0, 0, 0, 0};
  const SYSTEMTIME afternoon = {2023, 7, 0, 4, 15, 30, 45, 0};
  SetLastWrite(program, midnight);
  SetLastWrite(driver, afternoon);

  ProductInstallPath = WithoutTrailingBackslash(install_.path());
  ReportList list = {L"earlier line"};
  AddFilesReport(list);

  // The report job is the folder's one writer; the report only reads it.
  EXPECT_EQ(ProductInstallPath, WithoutTrailingBackslash(install_.path()));
  // At midnight the date alone; at other times the date, a blank and the time.
  ASSERT_EQ(FormatLocalDateTime(midnight).find(L' '), std::wstring::npos);
  ASSERT_NE(FormatLocalDateTime(afternoon).find(L' '), std::wstring::npos);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0], L"earlier line");
  EXPECT_EQ(list[1], std::wstring(81, L'*'));
  EXPECT_EQ((std::set<std::wstring>{list[2], list[3]}),
            (std::set<std::wstring>{
                L"Corvane.exe   Ver:1.0.0.12   MD5:" + DigestOfFile(program) + L"   DT:" +
                    FormatLocalDateTime(midnight),
                L"drivers\\vdisk.sys   Ver:   MD5:" + DigestOfFile(driver) + L"   DT:" +
                    FormatLocalDateTime(afternoon),
            }));
}

TEST_F(FilesReport, NoInstallationAddsNothing) {
  ReportList list;
  ProductInstallPath.clear();
  AddFilesReport(list);
  ProductInstallPath = L"C:\\no such folder\\Corvane\\";
  AddFilesReport(list);
  EXPECT_TRUE(list.empty());
}

TEST_F(FilesReport, InstallationWithoutProgramFilesAddsNothing) {
  test::WriteBytes(install_.path() + L"readme.txt", "text");
  test::WriteBytes(install_.path() + L"setup.exe.old", "renamed");
  ProductInstallPath = install_.path();
  ReportList list;
  AddFilesReport(list);
  EXPECT_TRUE(list.empty());
}

TEST_F(FilesReport, LockedAndEmptyProgramFilesStillGetALine) {
  const std::wstring locked = install_.path() + L"service.exe";
  test::WriteBytes(locked, "running");
  test::WriteBytes(install_.path() + L"empty.dll", "");
  UniqueHandle holder(::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  ProductInstallPath = install_.path();
  ReportList list;
  AddFilesReport(list);
  ASSERT_EQ(list.size(), 3u);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_NE(list[i].find(L"   Ver:   MD5:d41d8cd98f00b204e9800998ecf8427e   DT:"),
              std::wstring::npos)
        << list[i];
  }
}

// The swap that SwapOnFirstRead makes when the first program file is opened
// to be read: after the walk has listed the folder, before it is hashed.
struct PendingSwap {
  std::wstring folder, aside, target;
  HandleAttributesReader system = nullptr;
  bool tried = false, swapped = false;
};
PendingSwap g_swap;

DWORD SwapOnFirstRead(HANDLE file) {
  if (!g_swap.tried) {
    g_swap.tried = true;
    g_swap.swapped = test::SwapForUnixSymlink(g_swap.folder, g_swap.aside, g_swap.target);
  }
  return g_swap.system(file);
}

// A folder of the installation swapped for a link to a folder holding other
// files of the same names, once the walk has listed it: the lines still show
// the installation's own files, their digests, versions and dates.
TEST_F(FilesReport, AFolderSwappedForALinkAfterItsListingShowsOnlyItsOwnFiles) {
  ScratchFolder other{L"other files"};
  const std::wstring bin = install_.path() + L"bin\\", theirs = other.path() + L"theirs\\";
  ::CreateDirectoryW(bin.c_str(), nullptr);
  ::CreateDirectoryW(theirs.c_str(), nullptr);
  const SYSTEMTIME ours_written = {2023, 7, 0, 4, 15, 30, 45, 0};
  const SYSTEMTIME theirs_written = {2001, 2, 0, 3, 4, 5, 6, 0};
  std::set<std::wstring> expected;
  for (const std::wstring name : {L"first.dll", L"second.dll"}) {
    test::WriteBytes(bin + name, "ours, no version resource, " + std::to_string(name.size()));
    SetLastWrite(bin + name, ours_written);
    ASSERT_TRUE(::CopyFileW((test::BinDir() + L"\\fixed_version.dll").c_str(),
                            (theirs + name).c_str(), FALSE));
    SetLastWrite(theirs + name, theirs_written);
    expected.insert(L"bin\\" + name + L"   Ver:   MD5:" + DigestOfFile(bin + name) + L"   DT:" +
                    FormatLocalDateTime(ours_written));
  }
  g_swap.folder = bin;
  g_swap.aside = other.path() + L"ours";
  g_swap.target = theirs;
  g_swap.system = SetHandleAttributesReader(SwapOnFirstRead);
  ProductInstallPath = install_.path();
  ReportList list;
  AddFilesReport(list);
  SetHandleAttributesReader(g_swap.system);
  test::RemoveUnixSymlink(bin);
  ASSERT_TRUE(g_swap.swapped);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ((std::set<std::wstring>{list[1], list[2]}), expected);
}

}  // namespace
}  // namespace velmora
