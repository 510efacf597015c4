// The total that one report file, or one registry-fed block of a report, may
// hold. Each registry value is bounded on its own (kRegistryValueLimit), but
// anyone may write any number of large values into their own keys: without a
// total, a few dozen of them cost hundreds of megabytes, and the 32-bit
// program has 2 GB to address. Past the budget nothing more is added, and the
// writer ends its lines with one marker line that says what was left out.
#pragma once

#include <cstddef>
#include <string>

#include "common/report_list.h"

namespace velmora {

// A registry export file: 8 Mi UTF-16 units, 16 MiB in memory and on disk,
// some ten times what the largest real services tree gives.
inline constexpr size_t kRegistryExportBudget = size_t{8} << 20;
// A registry-fed block of the main report (autoruns, browser helper
// objects): 2 Mi units, 4 MiB.
inline constexpr size_t kReportBlockBudget = size_t{2} << 20;

class ReportBudget {
 public:
  explicit ReportBudget(size_t units) : limit_(units), left_(units) {}

  // Adds the entry when it fits with its line break into what is left and
  // nothing was left out before it; otherwise adds nothing, now and from
  // then on, so that what the list holds is the whole start of its text.
  bool Add(ReportList& list, std::wstring entry);
  bool exhausted() const { return exhausted_; }
  size_t limit() const { return limit_; }

 private:
  size_t limit_;
  size_t left_;
  bool exhausted_ = false;
};

// The marker line of a report block: "(Left out from here, as a report block
// holds at most <limit> characters: lines <count>)".
std::wstring LeftOutNote(size_t lines, const ReportBudget& budget);

}  // namespace velmora
