#include "reports/findings/findings_report.h"

#include "common/report_file.h"
#include "reports/findings/finding_rules.h"
#include "reports/findings/findings_text.h"

namespace velmora {

namespace {

// Far above what a report file holds; a larger one is not read at all, so
// that the findings never cost the memory of a runaway file.
constexpr size_t kReadLimit = 32 << 20;

template <typename Facts, typename Parser>
FileFacts<Facts> ReadFacts(const std::wstring& folder, const wchar_t* name, Parser parse) {
  const std::string bytes = ReadWholeFile(folder + name, kReadLimit + 1);
  if (bytes.empty()) return {std::nullopt, L"not written by this run"};
  if (bytes.size() > kReadLimit) return {std::nullopt, L"larger than 32 MiB, not read"};
  const std::optional<ReportList> lines = ReportLinesOf(bytes);
  if (!lines) return {std::nullopt, L"not a report text file"};
  return {parse(*lines), {}};
}

}  // namespace

ReportFacts ReadReportFacts(const std::wstring& folder) {
  ReportFacts facts;
  facts.main = ReadFacts<MainReportFacts>(folder, kMainReportName, ParseMainReport);
  facts.storage = ReadFacts<StorageFacts>(folder, kStorageReportName, ParseStorageReport);
  facts.listing =
      ReadFacts<std::vector<ListedInstallation>>(folder, kListingReportName, ParseProductListing);
  return facts;
}

void SaveFindings(const std::wstring& folder) {
  SaveReportFile(MakeFindings(ReadReportFacts(folder)), folder + kFindingsReportName);
}

}  // namespace velmora
