#include "reports/system/security_report.h"

#include <gtest/gtest.h>

#include "common/com_ptr.h"
#include "common/handles.h"
#include "environment/windows_version.h"
#include "reports/system/firewall_manager.h"
#include "reports/system/security_center.h"
#include "fixtures/standins/standin_seed.h"
#include "support/security_standins.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::kSecurityCenter;
using test::kSecurityCenter2;

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

// The report against stand-ins of the WMI locator and the firewall manager,
// registered in place of the platform's: the program's own calls, from
// creating the locator to reading each property by name, answered with the
// classes and properties that Windows documents.
class SecurityReportOnStandIns : public ::testing::Test {
 protected:
  static ReportList Report() {
    ReportList list;
    AppendSecurityReport(list);
    return list;
  }
  test::SecurityStandIns stand_ins_;
};

// A service that refuses (or, wedged, answers only after its wait) is asked
// once per report, not again by each section.
TEST_F(SecurityReportOnStandIns, ARefusedConnectionIsNotAskedForAgain) {
  const ReportList list = Report();
  EXPECT_EQ(
      ReportList(list.begin(), list.begin() + 5),
      (ReportList{L"[AntiVirusProduct]", L"", L"[AntiSpywareProduct]", L"", L"[FirewallProduct]"}));
  EXPECT_EQ(stand_ins_.ConnectCalls(), DWORD{2});  // SecurityCenter2, then SecurityCenter
}

TEST_F(SecurityReportOnStandIns, ProductsWithTheStateWordFromSecurityCenter2) {
  stand_ins_.Product(kSecurityCenter2, L"AntiVirusProduct", L"1")
      .Text(L"displayName", L"Windows Defender")
      .Dword(L"productState", 0x00061100)
      .Text(L"instanceGuid", L"{D68DDC3A-831F-4fae-9E44-DA132C1ACF46}")
      .Text(L"pathToSignedProductExe", L"windowsdefender://")
      .Text(L"pathToSignedReportingExe", L"%ProgramFiles%\\Windows Defender\\MsMpeng.exe")
      .Text(L"timestamp", L"Wed, 01 Apr 2020 16:56:49 GMT");
  stand_ins_.Product(kSecurityCenter2, L"AntiVirusProduct", L"2")
      .Text(L"displayName", L"Corvane Guard")
      .Dword(L"productState", 0x00060100);
  stand_ins_.Product(kSecurityCenter2, L"FirewallProduct", L"1")
      .Text(L"displayName", L"Corvane Wall")
      .Dword(L"productState", 0x00061110);
  // The older namespace, which Windows Vista and later still have, is not read.
  stand_ins_.Product(kSecurityCenter, L"AntiVirusProduct", L"1")
      .Text(L"displayName", L"Old Guard")
      .Dword(L"onAccessScanningEnabled", 1);
  // The standard (home) profile off, the domain profile on and in force.
  stand_ins_.Firewall(true, false, NET_FW_PROFILE_DOMAIN);

  EXPECT_EQ(Report(), (ReportList{L"[AntiVirusProduct]",
                                  L"",
                                  L"Name:Windows Defender",
                                  L"Enabled=True(00061100)",
                                  L"UptoDate=True",
                                  L"",
                                  L"Name:Corvane Guard",
                                  L"Enabled=False(00060100)",
                                  L"UptoDate=True",
                                  L"",
                                  L"[AntiSpywareProduct]",
                                  L"",
                                  L"[FirewallProduct]",
                                  L"",
                                  L"Name:Corvane Wall",
                                  L"Enabled=True(00061110)",
                                  L"UptoDate=False",
                                  L"",
                                  L"[Windows FireWall]",
                                  L"HomeNetFwEnabled=False",
                                  L"PublicNetFwEnabled=True",
                                  L"FireWallEnabled=True",
                                  L"FwObj=valid"}));
  // A wedged WMI service holds the connection for two minutes at most.
  EXPECT_EQ(stand_ins_.LatestConnectFlags(), DWORD{WBEM_FLAG_CONNECT_USE_MAX_WAIT});
}

// Windows XP's WMI may not know the maximum-wait flag: the connection is
// made without it, and the products are read as ever.
TEST_F(SecurityReportOnStandIns, ALocatorRefusingTheMaximumWaitIsAskedWithout) {
  stand_ins_.RefusesMaximumWait();
  stand_ins_.Product(kSecurityCenter2, L"AntiVirusProduct", L"1")
      .Text(L"displayName", L"Windows Defender")
      .Dword(L"productState", 0x00061100);
  const ReportList list = Report();
  EXPECT_EQ(ReportList(list.begin(), list.begin() + 6),
            (ReportList{L"[AntiVirusProduct]", L"", L"Name:Windows Defender",
                        L"Enabled=True(00061100)", L"UptoDate=True", L""}));
  EXPECT_EQ(stand_ins_.ConnectCalls(), DWORD{2});
  EXPECT_EQ(stand_ins_.LatestConnectFlags(), DWORD{0});
}

TEST_F(SecurityReportOnStandIns, WithoutSecurityCenter2TheOlderPropertiesAreRead) {
  stand_ins_.Product(kSecurityCenter, L"AntiVirusProduct", L"1")
      .Text(L"displayName", L"Old Guard")
      .Text(L"companyName", L"Velmora")
      .Text(L"versionNumber", L"2.0")
      .Dword(L"onAccessScanningEnabled", 1)
      .Dword(L"productUptoDate", 0);
  // NULL, and a text where a boolean belongs.
  stand_ins_.Product(kSecurityCenter, L"AntiVirusProduct", L"2")
      .Raw(L"displayName", REG_NONE, "")
      .Raw(L"onAccessScanningEnabled", REG_NONE, "")
      .Text(L"productUptoDate", L"yes");
  // Firewall products of that time carry only "enabled", none of the two
  // anti-virus states.
  stand_ins_.Product(kSecurityCenter, L"FirewallProduct", L"1")
      .Text(L"displayName", L"Old Wall")
      .Dword(L"enabled", 1);
  stand_ins_.Firewall(false, true, NET_FW_PROFILE_DOMAIN);

  // That namespace has no anti-spyware class: its query fails.
  EXPECT_EQ(Report(), (ReportList{L"[AntiVirusProduct]",
                                  L"",
                                  L"Name:Old Guard",
                                  L"Enabled=True",
                                  L"UptoDate=False",
                                  L"",
                                  L"Name:(unknown)",
                                  L"Enabled=Unknown",
                                  L"UptoDate=Unknown",
                                  L"",
                                  L"[AntiSpywareProduct]",
                                  L"",
                                  L"[FirewallProduct]",
                                  L"",
                                  L"Name:Old Wall",
                                  L"Enabled=Unknown",
                                  L"UptoDate=Unknown",
                                  L"",
                                  L"[Windows FireWall]",
                                  L"HomeNetFwEnabled=True",
                                  L"PublicNetFwEnabled=False",
                                  L"FireWallEnabled=False",
                                  L"FwObj=valid"}));
}

TEST_F(SecurityReportOnStandIns, MissingNullAndOddlyTypedProperties) {
  // A product whose class lacks both properties.
  std::wstring absent;
  for (const wchar_t* name : {L"displayName", L"productState"}) absent += name + std::wstring(1, 0);
  stand_ins_.Product(kSecurityCenter2, L"AntiVirusProduct", L"1")
      .Raw(standin::kAbsentProperties, REG_MULTI_SZ, test::Utf16LeBytes(absent + L'\0'));
  // Both NULL.
  stand_ins_.Product(kSecurityCenter2, L"AntiVirusProduct", L"2")
      .Raw(L"displayName", REG_NONE, "")
      .Raw(L"productState", REG_NONE, "");
  // A list of texts for the name; the state word as text.
  stand_ins_.Product(kSecurityCenter2, L"AntiVirusProduct", L"3")
      .Raw(L"displayName", REG_MULTI_SZ,
           test::Utf16LeBytes(std::wstring(L"Corvane\0Guard\0\0", 15)))
      .Text(L"productState", L"397584");
  // A number for the name; a text that is no number for the state.
  stand_ins_.Product(kSecurityCenter2, L"AntiVirusProduct", L"4")
      .Dword(L"displayName", 7)
      .Text(L"productState", L"on");
  // The firewall's stand-in, left unseeded, fails every call.

  EXPECT_EQ(Report(), (ReportList{L"[AntiVirusProduct]",
                                  L"",
                                  L"Name:(unknown)",
                                  L"Enabled=False(00000000)",
                                  L"UptoDate=True",
                                  L"",
                                  L"Name:(unknown)",
                                  L"Enabled=False(00000000)",
                                  L"UptoDate=True",
                                  L"",
                                  L"Name:(unknown)",
                                  L"Enabled=True(00061110)",
                                  L"UptoDate=False",
                                  L"",
                                  L"Name:7",
                                  L"Enabled=False(00000000)",
                                  L"UptoDate=True",
                                  L"",
                                  L"[AntiSpywareProduct]",
                                  L"",
                                  L"[FirewallProduct]",
                                  L"",
                                  L"[Windows FireWall]",
                                  L"HomeNetFwEnabled=False",
                                  L"PublicNetFwEnabled=False",
                                  L"FireWallEnabled=False",
                                  L"FwObj=nil"}));
}

// A section ends when its enumeration stops answering, after two minutes on
// a real machine (the stand-in cuts the wait short); the products read until
// then stay, and the next sections and the rest of the run go on.
TEST_F(SecurityReportOnStandIns, AnEnumerationThatNeverAnswers) {
  stand_ins_.Product(kSecurityCenter2, L"AntiVirusProduct", L"1")
      .Text(L"displayName", L"Windows Defender")
      .Dword(L"productState", 0x00061100);
  stand_ins_.NeverAnswers(kSecurityCenter2, L"AntiVirusProduct", 200);
  stand_ins_.NeverAnswers(kSecurityCenter2, L"FirewallProduct", 200);
  stand_ins_.Product(kSecurityCenter2, L"AntiSpywareProduct", L"1")
      .Text(L"displayName", L"Corvane Sweep")
      .Dword(L"productState", 0x00061100);
  stand_ins_.Firewall(false, false, NET_FW_PROFILE_STANDARD);

  ReportList list = {L"before"};
  AppendSecurityReport(list);
  list.push_back(L"after");
  EXPECT_EQ(list, (ReportList{L"before",
                              L"[AntiVirusProduct]",
                              L"",
                              L"Name:Windows Defender",
                              L"Enabled=True(00061100)",
                              L"UptoDate=True",
                              L"",
                              L"[AntiSpywareProduct]",
                              L"",
                              L"Name:Corvane Sweep",
                              L"Enabled=True(00061100)",
                              L"UptoDate=True",
                              L"",
                              L"[FirewallProduct]",
                              L"",
                              L"[Windows FireWall]",
                              L"HomeNetFwEnabled=False",
                              L"PublicNetFwEnabled=False",
                              L"FireWallEnabled=False",
                              L"FwObj=valid",
                              L"after"}));
  EXPECT_EQ(stand_ins_.LatestNextTimeout(), LONG{2 * 60 * 1000});
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
