#include "common/report_budget.h"

namespace velmora {

namespace {

constexpr size_t kLineBreakUnits = 2;  // CR LF

}  // namespace

bool ReportBudget::Add(ReportList& list, std::wstring entry) {
  const size_t units = entry.size() + kLineBreakUnits;
  if (exhausted_ || units > left_) {
    exhausted_ = true;
    return false;
  }
  left_ -= units;
  list.push_back(std::move(entry));
  return true;
}

std::wstring LeftOutNote(size_t lines, const ReportBudget& budget) {
  return L"(Left out from here, as a report block holds at most " +
         std::to_wstring(budget.limit()) + L" characters: lines " + std::to_wstring(lines) + L")";
}

}  // namespace velmora
