// Report text files: UTF-16LE with the byte-order mark FF FE, each entry
// followed by CR LF. An empty list gives just the two mark bytes.
#pragma once

#include <cstdint>
#include <string>

#include "common/report_list.h"

namespace velmora {

// Creates or replaces the file as WriteWholeFile does; raises ReportError
// when it cannot be written.
void SaveReportFile(const ReportList& list, const std::wstring& path);

// Every byte of a file that others may still be writing, up to `limit`
// bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::wstring& path, size_t limit = SIZE_MAX);

// Writes bytes to a new file, removing (never following) what stood at the
// path before; raises ReportError on failure.
void WriteWholeFile(const std::wstring& path, const std::string& bytes);

}  // namespace velmora
