// The report list: ordered UTF-16 entries that collectors fill. Entries may be
// empty, repeated, or hold line breaks of their own.
#pragma once

#include <iterator>
#include <string>
#include <vector>

namespace velmora {

using ReportList = std::vector<std::wstring>;

// One entry of exactly 81 asterisks that divides the blocks of a report.
inline const std::wstring kSeparatorLine(81, L'*');

inline void AppendList(ReportList& target, const ReportList& source) {
  target.insert(target.end(), source.begin(), source.end());
}

// A list made for the target alone gives its entries up rather than copying them.
inline void AppendList(ReportList& target, ReportList&& source) {
  target.insert(target.end(), std::make_move_iterator(source.begin()),
                std::make_move_iterator(source.end()));
}

}  // namespace velmora
