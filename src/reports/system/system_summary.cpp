#include "reports/system/system_summary.h"

#include <windows.h>

#include <vector>

#include "common/number_format.h"
#include "common/strings.h"
#include "environment/accounts.h"
#include "environment/folders.h"
#include "environment/wow64.h"
#include "reports/system/os_description.h"

namespace velmora {

namespace {

// The version as Windows reports it to this program under its manifest; a
// failed call leaves zeros.
void AddVersionLines(ReportList& list) {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);  // 284
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
#pragma GCC diagnostic pop
  list.push_back(Format(L"OS Version:\t%lu.%lu.%lu", info.dwMajorVersion, info.dwMinorVersion,
                        info.dwBuildNumber));
  list.push_back(L"SP Version:\t" + FromBuffer(info.szCSDVersion, 128));
}

std::wstring SystemLanguage() {
  char buffer[260] = {};
  if (::GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SENGLANGUAGE, buffer, sizeof(buffer)) <= 0) {
    return {};
  }
  return DecodeCodePage(FromBuffer(buffer, sizeof(buffer)), CP_ACP);
}

void AddComputerName(ReportList& list) {
  DWORD size = 0;
  ::GetComputerNameW(nullptr, &size);
  if (size == 0) return;
  std::vector<wchar_t> buffer(size);
  if (!::GetComputerNameW(buffer.data(), &size)) return;
  list.push_back(L"ComputerName:\t" + std::wstring(buffer.data(), size));
}

void AddMemoryLines(ReportList& list) {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);  // 64
  ::GlobalMemoryStatusEx(&status);
  list.push_back(L"Memory Size:\t" + FormatWholeMegabytes(status.ullTotalPhys));
  list.push_back(L"Free Size:\t" + FormatWholeMegabytes(status.ullAvailPhys));
  list.push_back(L"VMemory Size:\t" + FormatWholeMegabytes(status.ullTotalVirtual));
  list.push_back(L"VFree Size:\t" + FormatWholeMegabytes(status.ullAvailVirtual));
  list.push_back(L"VFreeExt Size:\t" + FormatWholeMegabytes(status.ullAvailExtendedVirtual));
  list.push_back(L"PF Size:\t" + FormatWholeMegabytes(status.ullTotalPageFile));
  list.push_back(L"PF Free:\t" + FormatWholeMegabytes(status.ullAvailPageFile));
}

void AddSystemDriveLines(ReportList& list) {
  const std::wstring system_dir = GetSystemDir();
  if (system_dir.empty()) return;
  const std::wstring drive = system_dir.substr(0, 2);
  list.push_back(L"System Drive:\t" + drive);
  ULARGE_INTEGER available = {}, total = {}, free_total = {};
  if (!::GetDiskFreeSpaceExW(drive.c_str(), &available, &total, &free_total)) return;
  const wchar_t separator = UserDecimalSeparator();
  list.push_back(L"Total Space:\t" + FormatDriveGigabytes(total.QuadPart, separator));
  list.push_back(L"Free Space:\t" + FormatDriveGigabytes(available.QuadPart, separator));
}

void AddUserLines(ReportList& list) {
  const std::wstring session_user = GetSessionUserName();
  list.push_back(L"Cur Users:\t" + session_user + L"[" +
                 GetProcessUserName(::GetCurrentProcessId()) + L"]");
  DWORD level = 0;
  if (UniqueHandle token = DuplicateProcessToken(L"explorer.exe", session_user)) {
    level = GetTokenIntegrityRid(token.get());
  }
  list.push_back(Format(L"User Level:\t%04lX", static_cast<unsigned long>(level)));
}

}  // namespace

std::wstring FormatWholeMegabytes(uint64_t bytes) {
  return std::to_wstring(bytes / 1024 / 1024) + L" MB";
}

std::wstring FormatDriveGigabytes(int64_t bytes, wchar_t separator) {
  const int64_t megabytes = bytes / 1024 / 1024;
  std::wstring text = Format(L"%.2f", static_cast<double>(megabytes) / 1024.0);
  for (wchar_t& c : text) {
    if (c == L'.') c = separator;
  }
  return text + L" GB";
}

ReportList GetSystemSummary() {
  ReportList list;
  list.push_back(kSeparatorLine);
  list.push_back(L"OS Name:\t" + GetOsDescription().description);
  AddVersionLines(list);
  list.push_back(L"system lan:\t" + SystemLanguage());
  AddComputerName(list);
  list.push_back(std::wstring(L"OS Type:\t") + (IsWow64() ? L"64bit" : L"32bit"));
  AddMemoryLines(list);
  AddSystemDriveLines(list);
  AddUserLines(list);
  list.push_back(L"");
  return list;
}

}  // namespace velmora
