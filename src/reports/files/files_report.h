// The files report: the last block of the main report, one fingerprint line
// per program file (".exe", ".dll", ".sys") below the product's installation.
#pragma once

#include <string>

#include "common/report_list.h"
#include "reports/files/find_files.h"

namespace velmora {

// Appends the separator line and one line per program file found below
// ProductInstallPath, which it only reads. Adds nothing
// when there is no installation folder or it holds no program files; an error
// ends the report quietly with the lines added so far.
void AddFilesReport(ReportList& list);

// "<relative path>   Ver:<version>   MD5:<digest>   DT:<date text>" for a file
// below `install_folder` (which ends with a backslash) that a walk found: read
// relative to the folder that the walk holds.
std::wstring FilesReportLine(const FoundEntry& found, const std::wstring& install_folder);

}  // namespace velmora
