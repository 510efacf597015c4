// "Findings.txt": the first page of the archive, made at the end of the report
// from the report files that the run has written, never by asking the system again.
#pragma once

#include <string>

#include "reports/findings/findings_facts.h"

namespace velmora {

inline constexpr wchar_t kFindingsReportName[] = L"Findings.txt";

// The facts of the report files in the working folder (with its trailing backslash).
ReportFacts ReadReportFacts(const std::wstring& folder);

// Saves "Findings.txt" into the working folder; raises ReportError when it
// cannot be written.
void SaveFindings(const std::wstring& folder);

}  // namespace velmora
