// The anti-virus, anti-spyware and firewall products that Windows Security
// Center knows, read through WMI.
#pragma once

#include <windows.h>
#include <wbemcli.h>

#include <cstdint>
#include <optional>
#include <string>

#include "common/com_ptr.h"
#include "common/report_list.h"

namespace velmora {

// The WMI connection of one security report. Its objects belong to the COM
// apartment that the report makes and are released before it ends.
struct SecurityCenterConnection {
  ComPtr<IWbemLocator> locator;
  ComPtr<IWbemServices> services;
  bool connected = false;
  // No namespace could be connected: later sections do not ask again, so
  // that a wedged WMI service holds the report for one wait, not for six.
  bool refused = false;
  // "ROOT/SecurityCenter2" answered: products carry the productState word.
  bool has_product_state = false;
};

// Makes the connection on first success and reuses it afterwards: COM
// security (accepting security that the process already has), the locator,
// "ROOT/SecurityCenter2" from Windows Vista on, else "ROOT/SecurityCenter"
// (each attempt waits at most two minutes), and the proxy blanket. False
// while any of them fails.
bool ConnectSecurityCenter(SecurityCenterConnection& connection);

// Appends the section of one product class ("AntiVirusProduct",
// "AntiSpywareProduct" or "FirewallProduct"): an empty line (not before the
// anti-virus section), the heading, then per product an empty line,
// "Name:<displayName>", "Enabled=..." and "UptoDate=...". Without a
// connection or when the query fails, the section is its heading only.
//
// Missing or null properties: "Name:(unknown)", and "Unknown" in place of
// "True" or "False" after "Enabled=" and "UptoDate=" of the older form.
void ListSecurityProducts(ReportList& list, SecurityCenterConnection& connection,
                          const std::wstring& class_name, const std::wstring& heading);

// The properties of one product that the report shows; empty where the
// product lacks one or holds it as null.
struct SecurityProduct {
  std::optional<std::wstring> display_name;
  std::optional<std::wstring> product_state;  // as text, such as "397568"
  std::optional<bool> on_access_scanning_enabled;
  std::optional<bool> product_up_to_date;
};

// An empty line and "Name:...", then the state word's two lines when the
// namespace has it, else "Enabled=" and "UptoDate=" of the older properties.
ReportList ProductLines(const SecurityProduct& product, bool has_product_state);

// "Enabled=True(00061100)" (on when bit 0x1000 is set, with the word as eight
// upper-case hex digits) and "UptoDate=True" (when bit 0x10 is clear).
ReportList ProductStateLines(uint32_t state);

// The productState word from its text: decimal with an optional sign; 0 when
// the text is not such a number of 32 bits.
uint32_t ProductStateFromText(const std::wstring& text);

inline const wchar_t* TrueOrFalse(bool value) {
  return value ? L"True" : L"False";
}

}  // namespace velmora
