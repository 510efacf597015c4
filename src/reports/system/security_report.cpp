#include "reports/system/security_report.h"

#include <string>

#include "common/com_ptr.h"
#include "reports/system/firewall_manager.h"
#include "reports/system/security_center.h"

namespace velmora {

namespace {

template <typename Section>
void Guarded(Section section) {
  try {
    section();
  } catch (...) {
    // The lines appended so far stay; the next section is still tried.
  }
}

template <typename MakeLine>
void AddGuardedLine(ReportList& list, MakeLine make_line) {
  Guarded([&] { list.push_back(make_line()); });
}

}  // namespace

void AppendWindowsFirewall(ReportList& list) {
  list.push_back(L"");
  list.push_back(L"[Windows FireWall]");
  TFireWallMgr manager;
  AddGuardedLine(list, [&] {
    return L"HomeNetFwEnabled=" + std::wstring(TrueOrFalse(manager.IsHomeFirewallEnabled()));
  });
  AddGuardedLine(list, [&] {
    return L"PublicNetFwEnabled=" + std::wstring(TrueOrFalse(manager.IsPublicFirewallEnabled()));
  });
  AddGuardedLine(list, [&] {
    return L"FireWallEnabled=" + std::wstring(TrueOrFalse(manager.IsFirewallEnabled()));
  });
  AddGuardedLine(list,
                 [&] { return std::wstring(manager.HasFwMgr() ? L"FwObj=valid" : L"FwObj=nil"); });
}

void AppendSecurityReport(ReportList& list) {
  Guarded([&] {
    ComApartment apartment;
    // Made after the apartment, so released before it ends.
    SecurityCenterConnection connection;
    Guarded([&] {
      ListSecurityProducts(list, connection, L"AntiVirusProduct", L"[AntiVirusProduct]");
    });
    Guarded([&] {
      ListSecurityProducts(list, connection, L"AntiSpywareProduct", L"[AntiSpywareProduct]");
    });
    Guarded(
        [&] { ListSecurityProducts(list, connection, L"FirewallProduct", L"[FirewallProduct]"); });
    Guarded([&] { AppendWindowsFirewall(list); });
  });
}

}  // namespace velmora
