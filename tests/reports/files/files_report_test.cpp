#include "reports/files/files_report.h"

#include <gtest/gtest.h>

#include <set>

#include "common/date_text.h"
#include "common/handles.h"
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

}  // namespace
}  // namespace velmora
