// The services report: one line per service and driver that the service
// control manager knows, with its state, start type, binary path and, when
// that path names a file, the file's version and MD5.
#pragma once

#include <windows.h>

#include <string>

#include "common/report_list.h"

namespace velmora {

// The start type printed when a service's configuration cannot be read. As a
// signed decimal it reads "-1", which no real start type (0 to 4) can be.
constexpr DWORD kUnknownStartType = 0xFFFFFFFF;

struct ServiceConfig {
  DWORD start_type = kUnknownStartType;
  std::wstring binary_path;  // empty when the configuration cannot be read
};

struct ServiceStatusRow {
  std::wstring display_name;
  std::wstring service_name;
  DWORD type = 0;
  DWORD state = 0;
  DWORD exit_code = 0;
};

// Appends the separator line and one line per service in the order of the
// enumeration; nothing at all when the service control manager cannot be
// opened or enumerated. An error stops the report with the lines so far.
void AppendServicesReport(ReportList& list);

// Start type and binary path as configured; kUnknownStartType and an empty
// path when they cannot be read.
ServiceConfig GetServiceConfig(const std::wstring& service_name);

// "Ver:<version>   MD5:<digest>" of the file a binary path names, with WOW64
// file-system redirection off so that System32 is the native folder; empty
// when the path names no file (a quoted path or one with arguments does not).
std::wstring GetServiceFileInfo(const std::wstring& binary_path);

// The line "%-30s %X  %d  %d %d %s %s" of one service.
std::wstring FormatServiceLine(const ServiceStatusRow& row, const ServiceConfig& config,
                               const std::wstring& file_info);

}  // namespace velmora
