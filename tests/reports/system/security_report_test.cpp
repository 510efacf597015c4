#include "reports/system/security_report.h"

#include <gtest/gtest.h>

#include "common/com_ptr.h"
#include "common/handles.h"
#include "environment/windows_version.h"
#include "reports/system/firewall_manager.h"
#include "reports/system/security_center.h"

namespace velmora {
namespace {

// COM security that someone else set before the report's first connection
// must not stop it. (Windows refuses the second setting with RPC_E_TOO_LATE;
// Wine accepts it again.)
TEST(SecurityCenter, SecuritySetBeforeUsIsAccepted) {
  ComApartment apartment;
  const HRESULT set =
      ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                             RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
  ASSERT_TRUE(set == S_OK || set == RPC_E_TOO_LATE) << std::hex << set;
  SecurityCenterConnection connection;
  // Wine has neither Security Center namespace; getting as far as the
  // locator shows that the security step let the connection go on.
  EXPECT_FALSE(ConnectSecurityCenter(connection));
  EXPECT_TRUE(connection.locator);
  EXPECT_FALSE(connection.services);
  EXPECT_FALSE(connection.has_product_state);
  // Tried again from where it failed.
  EXPECT_FALSE(ConnectSecurityCenter(connection));
}

TEST(SecurityReport, WithoutSecurityCenterEachSectionIsItsHeading) {
  const ReportList expected = {L"[AntiVirusProduct]",
                               L"",
                               L"[AntiSpywareProduct]",
                               L"",
                               L"[FirewallProduct]",
                               L"",
                               L"[Windows FireWall]",
                               L"HomeNetFwEnabled=False",
                               L"PublicNetFwEnabled=False",
                               L"FireWallEnabled=False",
                               L"FwObj=valid"};
  ReportList list = {L"before"};
  AppendSecurityReport(list);
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.front(), L"before");
  EXPECT_EQ(ReportList(list.begin() + 1, list.end()), expected);
  // A second report connects anew and gives the same.
  ReportList again;
  AppendSecurityReport(again);
  EXPECT_EQ(again, expected);
}

// The report makes the thread an apartment only for its own time.
TEST(SecurityReport, LeavesNoApartmentBehind) {
  ReportList list;
  AppendSecurityReport(list);
  const HRESULT fresh = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  EXPECT_EQ(fresh, S_OK);
  if (SUCCEEDED(fresh)) ::CoUninitialize();
}

TEST(WindowsFirewall, ManagerOfTheRunningSystem) {
  ComApartment apartment;
  TFireWallMgr manager;
  const OSVERSIONINFOEXW version = GetWindowsVersion();
  EXPECT_EQ(manager.GetOsGeneration(),
            OsGenerationOf(version.dwMajorVersion, version.dwMinorVersion));
  EXPECT_FALSE(manager.HasFwMgr());
  ASSERT_NE(manager.GetFwMgr(), nullptr);
  EXPECT_EQ(manager.GetFwMgr(), manager.GetFwMgr()) << "made once and kept";
  // Wine's firewall is off, and it has no profiles by type: both read false
  // and the manager stays.
  EXPECT_FALSE(manager.IsFirewallEnabled());
  EXPECT_EQ(manager.IsFirewallEnabled(), manager.CachedFirewallEnabled());
  EXPECT_FALSE(manager.IsHomeFirewallEnabled());
  EXPECT_FALSE(manager.IsPublicFirewallEnabled());
  EXPECT_TRUE(manager.HasFwMgr());
}

// A thread without COM cannot make the firewall's object: every line still
// comes, with the answers of a machine without a firewall.
TEST(WindowsFirewall, NoFirewallObjectStillGivesFourLines) {
  ReportList list;
  UniqueHandle thread(::CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        AppendWindowsFirewall(*static_cast<ReportList*>(p));
        return 0;
      },
      &list, 0, nullptr));
  ASSERT_TRUE(thread);
  ::WaitForSingleObject(thread.get(), INFINITE);
  EXPECT_EQ(list,
            (ReportList{L"", L"[Windows FireWall]", L"HomeNetFwEnabled=False",
                        L"PublicNetFwEnabled=False", L"FireWallEnabled=False", L"FwObj=nil"}));
}

TEST(WindowsFirewall, OsGenerations) {
  EXPECT_EQ(OsGenerationOf(5, 0), 0);
  EXPECT_EQ(OsGenerationOf(5, 1), 0);
  EXPECT_EQ(OsGenerationOf(5, 2), 0);
  EXPECT_EQ(OsGenerationOf(6, 0), 1);
  EXPECT_EQ(OsGenerationOf(6, 1), 2);
  EXPECT_EQ(OsGenerationOf(6, 2), 3);
  EXPECT_EQ(OsGenerationOf(6, 3), 3);
  EXPECT_EQ(OsGenerationOf(10, 0), 3);
}

TEST(ProductState, EnabledBitAndOutOfDateBit) {
  EXPECT_EQ(ProductStateLines(0x00061100),
            (ReportList{L"Enabled=True(00061100)", L"UptoDate=True"}));
  EXPECT_EQ(ProductStateLines(0x00060100),
            (ReportList{L"Enabled=False(00060100)", L"UptoDate=True"}));
  EXPECT_EQ(ProductStateLines(0x00061110),
            (ReportList{L"Enabled=True(00061110)", L"UptoDate=False"}));
  EXPECT_EQ(ProductStateLines(0xFFFFFFFF),
            (ReportList{L"Enabled=True(FFFFFFFF)", L"UptoDate=False"}));
}

TEST(ProductState, FromTheTextOfTheProperty) {
  EXPECT_EQ(ProductStateFromText(L"397568"), 0x00061100u);
  EXPECT_EQ(ProductStateFromText(L"+16"), 16u);
  EXPECT_EQ(ProductStateFromText(L"-1"), 0xFFFFFFFFu);
  EXPECT_EQ(ProductStateFromText(L"4294967295"), 0xFFFFFFFFu);
  for (const wchar_t* not_a_number :
       {L"", L"-", L"4294967296", L"12a", L" 1", L"0x10", L"99999999999999"}) {
    EXPECT_EQ(ProductStateFromText(not_a_number), 0u) << not_a_number;
  }
}

TEST(ProductLines, StateWordFromVistaOn) {
  SecurityProduct product;
  product.display_name = L"Windows Defender";
  product.product_state = L"397584";  // 0x00061110
  EXPECT_EQ(
      ProductLines(product, true),
      (ReportList{L"", L"Name:Windows Defender", L"Enabled=True(00061110)", L"UptoDate=False"}));
}

TEST(ProductLines, OlderPropertiesWithoutStateNumber) {
  SecurityProduct product;
  product.display_name = L"Old Guard";
  product.on_access_scanning_enabled = true;
  product.product_up_to_date = false;
  EXPECT_EQ(ProductLines(product, false),
            (ReportList{L"", L"Name:Old Guard", L"Enabled=True", L"UptoDate=False"}));
}

TEST(ProductLines, MissingOrNullProperties) {
  const SecurityProduct nothing;
  EXPECT_EQ(ProductLines(nothing, false),
            (ReportList{L"", L"Name:(unknown)", L"Enabled=Unknown", L"UptoDate=Unknown"}));
  // A state word that is missing reads as 0, as any text that is not a number.
  EXPECT_EQ(ProductLines(nothing, true),
            (ReportList{L"", L"Name:(unknown)", L"Enabled=False(00000000)", L"UptoDate=True"}));
}

}  // namespace
}  // namespace velmora
