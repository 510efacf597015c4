#include "reports/system/disk_volumes.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(DiskVolumes, OneLinePerDriveFromCWithItsFileSystem) {
  ReportList list;
  AppendDiskVolumes(&list);
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.front(), L"C:\\ NTFS");
  wchar_t previous = L'B';
  for (const std::wstring& line : list) {
    ASSERT_GE(line.size(), 4u) << line;
    EXPECT_GT(line[0], previous) << line;  // alphabetical, never A: or B:
    EXPECT_EQ(line.substr(1, 3), L":\\ ") << line;
    EXPECT_EQ(line.substr(4), GetVolumeNames(line[0]).file_system) << line;
    previous = line[0];
  }
  const DWORD drives = ::GetLogicalDrives() & ~3u;  // A: and B: are never listed
  EXPECT_EQ(list.size(), static_cast<size_t>(__builtin_popcount(drives)));
}

TEST(DiskVolumes, MissingDriveHasEmptyNamesAndNoListIsHarmless) {
  wchar_t unused = 0;
  for (wchar_t letter = L'Y'; letter >= L'D' && unused == 0; --letter) {
    if (!(::GetLogicalDrives() & (1u << (letter - L'A')))) unused = letter;
  }
  ASSERT_NE(unused, 0);
  EXPECT_EQ(GetVolumeNames(unused).file_system, L"");
  AppendDiskVolumes(nullptr);
}

}  // namespace
}  // namespace velmora
