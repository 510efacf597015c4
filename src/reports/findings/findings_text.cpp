#include "reports/findings/findings_text.h"

namespace velmora {

std::optional<uint64_t> LeadingNumber(std::wstring_view text) {
  size_t at = text.find_first_not_of(L' ');
  if (at == std::wstring_view::npos || text[at] < L'0' || text[at] > L'9') return std::nullopt;
  uint64_t value = 0;
  for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
    const unsigned digit = text[at] - L'0';
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<uint64_t> WholeNumber(std::wstring_view text) {
  if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring_view::npos) {
    return std::nullopt;
  }
  return LeadingNumber(text);
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::optional<ReportList> ReportLinesOf(const std::string& bytes) {
  if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE' || bytes.size() % 2 != 0) {
    return std::nullopt;
  }
  std::wstring text((bytes.size() - 2) / 2, L'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                   (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
  }
  ReportList lines;
  size_t start = 0;
  for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    lines.emplace_back(text, start, end - start);
  }
  if (start < text.size()) lines.emplace_back(text, start);
  return lines;
}

}  // namespace velmora
