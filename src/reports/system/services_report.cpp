#include "reports/system/services_report.h"

#include <optional>
#include <vector>

#include "common/handles.h"
#include "common/strings.h"
#include "environment/folders.h"
#include "environment/wow64.h"
#include "reports/files/file_fingerprint.h"

namespace velmora {

namespace {

// Enough for a list that keeps changing while it is read; each round asks for
// what the last one said was missing.
constexpr int kEnumerationRounds = 8;

UniqueServiceHandle OpenServiceManager() {
  return UniqueServiceHandle(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
}

ServiceStatusRow RowOf(const ENUM_SERVICE_STATUSW& entry) {
  ServiceStatusRow row;
  row.display_name = entry.lpDisplayName != nullptr ? entry.lpDisplayName : L"";
  row.service_name = entry.lpServiceName != nullptr ? entry.lpServiceName : L"";
  row.type = entry.ServiceStatus.dwServiceType;
  row.state = entry.ServiceStatus.dwCurrentState;
  row.exit_code = entry.ServiceStatus.dwWin32ExitCode;
  return row;
}

// Every service and driver in the order the manager returns them. The first
// call learns the size; a service added in between, or a list larger than the
// manager hands out at once, is fetched in further rounds through the resume
// handle instead of failing the whole report.
std::optional<std::vector<ServiceStatusRow>> EnumerateServices(SC_HANDLE manager) {
  std::vector<ServiceStatusRow> rows;
  std::vector<ENUM_SERVICE_STATUSW> buffer;
  DWORD resume = 0;
  for (int round = 0; round < kEnumerationRounds; ++round) {
    DWORD needed = 0;
    DWORD returned = 0;
    const BOOL complete = ::EnumServicesStatusW(
        manager, SERVICE_TYPE_ALL, SERVICE_STATE_ALL, buffer.empty() ? nullptr : buffer.data(),
        static_cast<DWORD>(buffer.size() * sizeof(ENUM_SERVICE_STATUSW)), &needed, &returned,
        &resume);
    if (!complete && ::GetLastError() != ERROR_MORE_DATA) return std::nullopt;
    for (DWORD i = 0; i < returned && i < buffer.size(); ++i) rows.push_back(RowOf(buffer[i]));
    if (complete) return rows;
    buffer.assign(needed / sizeof(ENUM_SERVICE_STATUSW) + 1, ENUM_SERVICE_STATUSW{});
  }
  return std::nullopt;
}

std::wstring ExpandEnvironment(const std::wstring& text) {
  const DWORD size = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (size == 0) return text;
  std::vector<wchar_t> expanded(size);
  const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size);
  if (written == 0 || written > size) return text;
  return FromBuffer(expanded.data(), expanded.size());
}

// Driver paths are often relative to the Windows folder, in the forms the
// kernel takes: "\SystemRoot\...", "System32\..." and "SysWOW64\...".
std::wstring ResolveDriverPath(std::wstring path) {
  if (StartsWithNoCase(path, L"\\SystemRoot\\")) {
    path = ReplaceAllNoCase(path, L"\\SystemRoot\\", L"%SystemRoot%\\");
  } else if (StartsWithNoCase(path, L"SysWOW64\\") || StartsWithNoCase(path, L"System32\\")) {
    path = L"%SystemRoot%\\" + path;
  }
  return ExpandEnvironment(path);
}

}  // namespace

ServiceConfig GetServiceConfig(const std::wstring& service_name) {
  ServiceConfig config;
  UniqueServiceHandle manager = OpenServiceManager();
  if (!manager) return config;
  UniqueServiceHandle service(
      ::OpenServiceW(manager.get(), service_name.c_str(), SERVICE_QUERY_CONFIG));
  if (!service) return config;
  DWORD needed = 0;
  ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  if (needed < sizeof(QUERY_SERVICE_CONFIGW)) return config;
  // 8-byte units keep the record aligned for its pointers.
  std::vector<uint64_t> buffer((needed + 7) / 8, 0);
  auto* info = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(service.get(), info, needed, &needed)) return config;
  config.start_type = info->dwStartType;
  config.binary_path = info->lpBinaryPathName != nullptr ? info->lpBinaryPathName : L"";
  return config;
}

std::wstring GetServiceFileInfo(const std::wstring& binary_path) {
  FsRedirectionOff native_file_system;
  std::wstring path = binary_path;
  if (StartsWithNoCase(path, L"\\??\\")) path.erase(0, 4);
  if (!FileExists(path)) path = ResolveDriverPath(path);
  if (!FileExists(path)) return {};
  return L"Ver:" + GetFixedFileVersion(path) + L"   MD5:" + GetFileMd5(path);
}

std::wstring FormatServiceLine(const ServiceStatusRow& row, const ServiceConfig& config,
                               const std::wstring& file_info) {
  return PadRight(row.display_name, 30) + L" " +
         Format(L"%X  %d  %d %d ", static_cast<unsigned>(row.type), static_cast<int>(row.state),
                static_cast<int>(row.exit_code), static_cast<int>(config.start_type)) +
         config.binary_path + L" " + file_info;
}

void AppendServicesReport(ReportList& list) {
  try {
    UniqueServiceHandle manager = OpenServiceManager();
    if (!manager) return;
    const std::optional<std::vector<ServiceStatusRow>> rows = EnumerateServices(manager.get());
    if (!rows) return;
    list.push_back(kSeparatorLine);
    for (const ServiceStatusRow& row : *rows) {
      const ServiceConfig config = GetServiceConfig(row.service_name);
      list.push_back(FormatServiceLine(row, config, GetServiceFileInfo(config.binary_path)));
    }
  } catch (...) {
    // The lines so far stay; the report goes on without the rest of this table.
  }
}

}  // namespace velmora
