// Small text readers shared by the findings' parsers and rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/report_list.h"

namespace velmora {

// The unsigned decimal number at the start of the text (after blanks), or
// nothing when the text does not start with a digit or the number is too large.
std::optional<uint64_t> LeadingNumber(std::wstring_view text);
// Only when the whole text is one such number.
std::optional<uint64_t> WholeNumber(std::wstring_view text);
bool StartsWith(std::wstring_view text, std::wstring_view prefix);

// A report text file's bytes (UTF-16 LE with its byte-order mark) as its
// lines; nothing when the bytes are no report text.
std::optional<ReportList> ReportLinesOf(const std::string& bytes);

}  // namespace velmora
