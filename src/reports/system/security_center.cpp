#include "reports/system/security_center.h"

#include <cstdint>
#include <optional>

#include "common/strings.h"
#include "common/ticks.h"
#include "environment/windows_version.h"

namespace velmora {

namespace {

// Not in every SDK's import libraries, so written out here.
constexpr GUID kClsidWbemLocator = {
    0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
constexpr GUID kIidWbemLocator = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

// How long one product may take to arrive. WMI answers in well under a second
// when it works; a wedged WMI service must not hold the report for ever.
constexpr LONG kProductWaitMilliseconds = 2 * 60 * 1000;

constexpr wchar_t kFirstSectionClass[] = L"AntiVirusProduct";

// Security is process-wide and can be set only once; once set (by us or by
// anyone before us) it stays so for the life of the process.
bool g_com_security_ready = false;

bool EnsureComSecurity() {
  if (g_com_security_ready) return true;
  const HRESULT result =
      ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  if (FAILED(result) && result != RPC_E_TOO_LATE) return false;
  g_com_security_ready = true;
  return true;
}

HRESULT ConnectWithFlags(SecurityCenterConnection& connection, const wchar_t* name, LONG flags) {
  const UniqueBstr path(name);
  return connection.locator->ConnectServer(path.get(), nullptr, nullptr, nullptr, flags, nullptr,
                                           nullptr, connection.services.put());
}

// Without the maximum-wait flag a wedged WMI service holds ConnectServer for
// ever; with it the call returns within two minutes, the wait that one
// product may take. The flag is documented from Windows Vista on, and
// Windows XP's WMI may refuse it as an invalid parameter: it is then asked
// without.
bool ConnectNamespace(SecurityCenterConnection& connection, const wchar_t* name) {
  HRESULT result = ConnectWithFlags(connection, name, WBEM_FLAG_CONNECT_USE_MAX_WAIT);
  if (result == static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER))
    result = ConnectWithFlags(connection, name, 0);
  return SUCCEEDED(result);
}

// A namespace that is missing is refused at once; a service that took this
// long to refuse is wedged and is not asked for the older namespace too.
constexpr DWORD kWedgedAnswerMs = 30'000;

// The namespace with the state word came with Windows Vista; before it only
// the older one exists.
bool ConnectSecurityCenterNamespace(SecurityCenterConnection& connection) {
  if (GetWindowsVersion().dwMajorVersion > 5) {
    const TickDeadline wedged(kWedgedAnswerMs);
    if (ConnectNamespace(connection, L"ROOT/SecurityCenter2")) {
      connection.has_product_state = true;
      return true;
    }
    if (wedged.Passed()) return false;
  }
  return ConnectNamespace(connection, L"ROOT/SecurityCenter");
}

// The property converted to `type`; false when it is missing, null or of a
// kind that does not convert.
bool ReadPropertyAs(IWbemClassObject& object, const wchar_t* name, VARTYPE type,
                    UniqueVariant& converted) {
  UniqueVariant value;
  if (FAILED(object.Get(name, 0, value.put(), nullptr, nullptr))) return false;
  if (value.get().vt == VT_EMPTY || value.get().vt == VT_NULL) return false;
  return SUCCEEDED(::VariantChangeType(converted.put(), value.source(), 0, type));
}

std::optional<std::wstring> PropertyText(IWbemClassObject& object, const wchar_t* name) {
  UniqueVariant text;
  if (!ReadPropertyAs(object, name, VT_BSTR, text)) return std::nullopt;
  const BSTR chars = text.get().bstrVal;
  return chars == nullptr ? std::wstring() : FromBuffer(chars, ::SysStringLen(chars));
}

std::optional<bool> PropertyBool(IWbemClassObject& object, const wchar_t* name) {
  UniqueVariant flag;
  if (!ReadPropertyAs(object, name, VT_BOOL, flag)) return std::nullopt;
  return flag.get().boolVal != VARIANT_FALSE;
}

std::wstring BoolWord(std::optional<bool> value) {
  return value ? TrueOrFalse(*value) : L"Unknown";
}

SecurityProduct ReadProduct(IWbemClassObject& object, bool has_product_state) {
  SecurityProduct product;
  product.display_name = PropertyText(object, L"displayName");
  if (has_product_state) {
    product.product_state = PropertyText(object, L"productState");
  } else {
    product.on_access_scanning_enabled = PropertyBool(object, L"onAccessScanningEnabled");
    product.product_up_to_date = PropertyBool(object, L"productUptoDate");
  }
  return product;
}

}  // namespace

bool ConnectSecurityCenter(SecurityCenterConnection& connection) {
  if (connection.connected) return true;
  if (connection.refused || !EnsureComSecurity()) return false;
  if (!connection.locator &&
      FAILED(CreateInProcess(kClsidWbemLocator, kIidWbemLocator, connection.locator))) {
    return false;
  }
  if (!connection.services && !ConnectSecurityCenterNamespace(connection)) {
    connection.refused = true;
    return false;
  }
  // Kept on failure: the next section tries the blanket again.
  if (FAILED(::CoSetProxyBlanket(connection.services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE,
                                 nullptr, RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE,
                                 nullptr, EOAC_NONE))) {
    return false;
  }
  connection.connected = true;
  return true;
}

void ListSecurityProducts(ReportList& list, SecurityCenterConnection& connection,
                          const std::wstring& class_name, const std::wstring& heading) {
  if (class_name != kFirstSectionClass) list.push_back(L"");
  list.push_back(heading);
  if (!ConnectSecurityCenter(connection)) return;
  const UniqueBstr language(L"WQL");
  const UniqueBstr query((L"SELECT * FROM " + class_name).c_str());
  ComPtr<IEnumWbemClassObject> products;
  if (FAILED(connection.services->ExecQuery(language.get(), query.get(),
                                            WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                            nullptr, products.put())) ||
      !products) {
    return;
  }
  for (;;) {
    ComPtr<IWbemClassObject> product;
    ULONG returned = 0;
    const HRESULT result = products->Next(kProductWaitMilliseconds, 1, product.put(), &returned);
    if (FAILED(result) || returned == 0 || !product) return;
    AppendList(list, ProductLines(ReadProduct(*product.get(), connection.has_product_state),
                                  connection.has_product_state));
  }
}

ReportList ProductLines(const SecurityProduct& product, bool has_product_state) {
  ReportList lines = {L"", L"Name:" + product.display_name.value_or(L"(unknown)")};
  if (has_product_state) {
    AppendList(lines, ProductStateLines(ProductStateFromText(product.product_state.value_or(L""))));
  } else {
    lines.push_back(L"Enabled=" + BoolWord(product.on_access_scanning_enabled));
    lines.push_back(L"UptoDate=" + BoolWord(product.product_up_to_date));
  }
  return lines;
}

ReportList ProductStateLines(uint32_t state) {
  return {L"Enabled=" + std::wstring(TrueOrFalse((state & 0x1000) != 0)) + L"(" +
              Format(L"%08X", static_cast<unsigned>(state)) + L")",
          L"UptoDate=" + std::wstring(TrueOrFalse((state & 0x10) == 0))};
}

uint32_t ProductStateFromText(const std::wstring& text) {
  if (text.empty() || text.size() > 12) return 0;
  size_t at = (text[0] == L'-' || text[0] == L'+') ? 1 : 0;
  if (at == text.size()) return 0;
  long long value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < L'0' || text[at] > L'9') return 0;
    value = value * 10 + (text[at] - L'0');
  }
  if (text[0] == L'-') value = -value;
  if (value < INT32_MIN || value > UINT32_MAX) return 0;
  return static_cast<uint32_t>(value);
}

}  // namespace velmora
