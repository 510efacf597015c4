#include "reports/system/system_summary.h"

#include <gtest/gtest.h>

#include "common/strings.h"
#include "environment/accounts.h"
#include "reports/system/os_description.h"
#include "support/test_support.h"

namespace velmora {
namespace {

OsVersionFacts Nt(uint32_t major, uint32_t minor, bool workstation, std::wstring sp = L"") {
  OsVersionFacts f;
  f.platform = VER_PLATFORM_WIN32_NT;
  f.major = major;
  f.minor = minor;
  f.product_type = workstation ? VER_NT_WORKSTATION : 3;
  f.service_pack = std::move(sp);
  return f;
}

OsVersionFacts Win9x(uint32_t minor, uint32_t build) {
  OsVersionFacts f;
  f.platform = VER_PLATFORM_WIN32_WINDOWS;
  f.major = 4;
  f.minor = minor;
  f.build = build;
  return f;
}

std::wstring Describe(const OsVersionFacts& f) {
  return DescribeOs(f, SelectEditionCode(f));
}

// RtlGetVersion's answer on a system of that build and product type.
std::wstring DescribeRtlVersion(DWORD major, DWORD build, BYTE product_type) {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwMajorVersion = major;
  info.dwBuildNumber = build;
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  info.wProductType = product_type;
  return Describe(NtVersionFacts(info));
}

TEST(OsDescription, NamesWithTheirExtensions) {
  OsVersionFacts win10 = Nt(10, 0, true);
  win10.native_amd64 = true;
  EXPECT_EQ(Describe(win10), L"Windows 10 x64");

  OsVersionFacts server2003r2 = Nt(5, 2, false);
  server2003r2.server_r2 = true;
  EXPECT_EQ(Describe(server2003r2), L"Windows 2003 R2");

  OsVersionFacts xp_media_center = Nt(5, 1, true, L"Service Pack 3");
  xp_media_center.media_center = true;
  EXPECT_EQ(Describe(xp_media_center), L"Windows XP Media Center Service Pack 3");

  EXPECT_EQ(Describe(Nt(6, 1, true, L"Service Pack 1")), L"Windows 7 Service Pack 1");
  OsVersionFacts win7_x64 = Nt(6, 1, true, L"Service Pack 1");
  win7_x64.native_amd64 = true;
  EXPECT_EQ(Describe(win7_x64), L"Windows 7 x64 Service Pack 1");

  OsVersionFacts vista_media_center = Nt(6, 0, true);
  vista_media_center.media_center = true;  // only editions before Vista say so
  EXPECT_EQ(Describe(vista_media_center), L"Windows Vista");
}

TEST(OsDescription, EditionCodesAcrossTheTable) {
  EXPECT_EQ(SelectEditionCode(Nt(3, 51, true)), 7);
  EXPECT_EQ(SelectEditionCode(Nt(4, 0, true)), 8);
  EXPECT_EQ(SelectEditionCode(Nt(5, 0, true)), 9);
  EXPECT_EQ(SelectEditionCode(Nt(5, 2, true)), 10);  // XP x64 is a 5.2 workstation
  EXPECT_EQ(SelectEditionCode(Nt(6, 0, false)), 13);
  EXPECT_EQ(SelectEditionCode(Nt(6, 1, false)), 15);
  EXPECT_EQ(SelectEditionCode(Nt(6, 2, true)), 16);
  EXPECT_EQ(SelectEditionCode(Nt(6, 3, false)), 19);
  EXPECT_EQ(SelectEditionCode(Nt(6, 4, true)), 21);
  EXPECT_EQ(SelectEditionCode(Nt(8, 0, true)), 21);
  EXPECT_EQ(SelectEditionCode(Nt(11, 0, true)), 21);
  // 10.0 names the later editions by build; servers and domain controllers alike.
  EXPECT_EQ(DescribeRtlVersion(10, 19045, VER_NT_WORKSTATION), L"Windows 10");
  EXPECT_EQ(DescribeRtlVersion(10, 21999, VER_NT_WORKSTATION), L"Windows 10");
  EXPECT_EQ(DescribeRtlVersion(10, 22000, VER_NT_WORKSTATION), L"Windows 11");
  EXPECT_EQ(DescribeRtlVersion(10, 26100, VER_NT_WORKSTATION), L"Windows 11");
  EXPECT_EQ(DescribeRtlVersion(10, 10240, VER_NT_SERVER), L"Windows 10");
  EXPECT_EQ(DescribeRtlVersion(10, 14393, VER_NT_SERVER), L"Windows 2016");
  EXPECT_EQ(DescribeRtlVersion(10, 17762, VER_NT_SERVER), L"Windows 2016");
  EXPECT_EQ(DescribeRtlVersion(10, 17763, VER_NT_DOMAIN_CONTROLLER), L"Windows 2019");
  EXPECT_EQ(DescribeRtlVersion(10, 20348, VER_NT_SERVER), L"Windows 2022");
  EXPECT_EQ(DescribeRtlVersion(10, 26100, VER_NT_SERVER), L"Windows 2025");
  EXPECT_EQ(DescribeRtlVersion(6, 6002, VER_NT_WORKSTATION), L"Windows Vista");
  EXPECT_EQ(Describe(Win9x(0, 950)), L"Windows 95");
  EXPECT_EQ(Describe(Win9x(0, 1111)), L"Windows 95 OSR-2");
  EXPECT_EQ(Describe(Win9x(10, 1998)), L"Windows 98");
  EXPECT_EQ(Describe(Win9x(10, 2222)), L"Windows 98 SE");
  EXPECT_EQ(Describe(Win9x(90, 3000)), L"Windows ME");
  EXPECT_EQ(Describe(Win9x(95, 0)), L"Windows 9x New");
  OsVersionFacts unknown;
  EXPECT_EQ(Describe(unknown), L"None");
  OsVersionFacts win9x_sp = Win9x(10, 2222);
  win9x_sp.service_pack = L" A ";
  win9x_sp.native_amd64 = true;  // extensions belong to the NT family only
  EXPECT_EQ(Describe(win9x_sp), L"Windows 98 SE");
}

TEST(OsDescription, WineAnswersAsWindows7) {
  const TOS os = GetOsDescription();
  EXPECT_EQ(os.description, L"Windows 7 x64 Service Pack 1");
  EXPECT_TRUE(os.is_nt);
  EXPECT_EQ(os.edition, 14);
  EXPECT_EQ(os.service_pack_number, 1);
}

TEST(SummaryArithmetic, MegabytesAndGigabytes) {
  EXPECT_EQ(FormatWholeMegabytes(8589398016ull), L"8191 MB");
  EXPECT_EQ(FormatWholeMegabytes(0), L"0 MB");
  EXPECT_EQ(FormatDriveGigabytes(500105216000ll, L'.'), L"465.76 GB");
  EXPECT_EQ(FormatDriveGigabytes(500105216000ll, L','), L"465,76 GB");
  EXPECT_EQ(FormatDriveGigabytes(1048575, L'.'), L"0.00 GB");
}

TEST(SystemSummary, LinesInTheirOrder) {
  ASSERT_TRUE(test::EnsureShellRunning());
  const ReportList summary = GetSystemSummary();
  const std::vector<std::wstring> labels = {
      L"OS Name:\t",      L"OS Version:\t",   L"SP Version:\t",    L"system lan:\t",
      L"ComputerName:\t", L"OS Type:\t",      L"Memory Size:\t",   L"Free Size:\t",
      L"VMemory Size:\t", L"VFree Size:\t",   L"VFreeExt Size:\t", L"PF Size:\t",
      L"PF Free:\t",      L"System Drive:\t", L"Total Space:\t",   L"Free Space:\t",
      L"Cur Users:\t",    L"User Level:\t"};
  ASSERT_EQ(summary.size(), labels.size() + 2);
  EXPECT_EQ(summary.front(), kSeparatorLine);
  for (size_t i = 0; i < labels.size(); ++i) {
    EXPECT_EQ(summary[i + 1].rfind(labels[i], 0), 0u) << summary[i + 1];
  }
  EXPECT_EQ(summary.back(), L"");
  EXPECT_EQ(summary[1], L"OS Name:\tWindows 7 x64 Service Pack 1");
  EXPECT_EQ(summary[2], L"OS Version:\t6.1.7601");
  EXPECT_EQ(summary[3], L"SP Version:\tService Pack 1");
  EXPECT_EQ(summary[4], L"system lan:\tEnglish");
  EXPECT_EQ(summary[6], L"OS Type:\t64bit");
  EXPECT_EQ(summary[14], L"System Drive:\tC:");
  const std::wstring user = GetCurrentUserName();
  EXPECT_EQ(summary[17], L"Cur Users:\t" + user + L"[" + user + L"]");
  EXPECT_EQ(summary[18], L"User Level:\t3000");
}

}  // namespace
}  // namespace velmora
