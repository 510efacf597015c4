#include "reports/registry/autorun_values.h"

#include "common/strings.h"

namespace velmora {

namespace {

// Blanks and control characters separate items, NUL among them: a text may
// hold NULs, and every step over the text must move on, whatever it holds.
bool IsSeparatorBlank(wchar_t c) {
  return c <= L' ';
}

size_t SkipBlanks(const std::wstring& text, size_t at) {
  while (at < text.size() && IsSeparatorBlank(text[at])) ++at;
  return at;
}

// From just after an opening quotation mark; `at` ends after the closing one.
std::wstring ReadQuotedItem(const std::wstring& text, size_t& at) {
  std::wstring item;
  while (at < text.size()) {
    const wchar_t c = text[at++];
    if (c != L'"') {
      item.push_back(c);
    } else if (at < text.size() && text[at] == L'"') {
      item.push_back(L'"');
      ++at;
    } else {
      break;
    }
  }
  return item;
}

std::wstring ReadPlainItem(const std::wstring& text, size_t& at) {
  const size_t start = at;
  while (at < text.size() && text[at] != L',' && text[at] > L' ') ++at;
  return text.substr(start, at - start);
}

bool NamesStandardProgram(const std::wstring& item, const std::wstring& program,
                          const std::wstring& system_dir, const std::wstring& windows_dir) {
  return EqualsAsciiNoCase(item, program) ||
         EqualsAsciiNoCase(item, system_dir + L"\\" + program) ||
         EqualsAsciiNoCase(item, windows_dir + L"\\" + program);
}

}  // namespace

bool IsBlank(const std::wstring& text) {
  return Trimmed(text).empty();
}

std::vector<std::wstring> SplitCommaList(const std::wstring& text) {
  std::vector<std::wstring> items;
  size_t at = SkipBlanks(text, 0);
  while (at < text.size()) {
    if (text[at] == L'"') {
      ++at;
      items.push_back(ReadQuotedItem(text, at));
    } else {
      items.push_back(ReadPlainItem(text, at));
    }
    at = SkipBlanks(text, at);
    if (at < text.size() && text[at] == L',') {
      if (at == text.size() - 1) items.emplace_back();
      at = SkipBlanks(text, at + 1);
    }
  }
  return items;
}

ReportList CommaListLines(const std::wstring& text) {
  ReportList lines;
  for (const std::wstring& item : SplitCommaList(text)) {
    if (!IsBlank(item)) lines.push_back(item);
  }
  return lines;
}

ReportList WinlogonLines(const std::wstring& text, const std::wstring& standard_program,
                         const std::wstring& system_dir, const std::wstring& windows_dir) {
  const std::vector<std::wstring> items = SplitCommaList(text);
  ReportList lines;
  for (size_t i = 0; i < items.size(); ++i) {
    if (IsBlank(items[i])) continue;
    if (i == 0 && NamesStandardProgram(items[i], standard_program, system_dir, windows_dir)) {
      continue;
    }
    lines.push_back(items[i]);
  }
  return lines;
}

std::vector<std::wstring> SplitRunOnceExFields(const std::wstring& text) {
  std::vector<std::wstring> fields;
  size_t start = 0;
  for (;;) {
    const size_t bar = text.find(L'|', start);
    const size_t end = bar == std::wstring::npos ? text.size() : bar;
    if (end > start) fields.push_back(text.substr(start, end - start));
    if (bar == std::wstring::npos) return fields;
    start = bar + 1;
  }
}

ReportList RunOnceExLines(const std::wstring& text) {
  const std::vector<std::wstring> fields = SplitRunOnceExFields(text);
  ReportList lines;
  // Each form is checked on its own, so one entry may give up to three lines.
  if (fields.size() >= 1 && !IsBlank(fields[0])) lines.push_back(L"rundll32.exe " + fields[0]);
  if (fields.size() >= 2 && !IsBlank(fields[1])) {
    lines.push_back(L"rundll32.exe " + fields[0] + L"," + fields[1]);
  }
  if (fields.size() >= 3) {
    if (IsBlank(fields[0]) && IsBlank(fields[1])) {
      lines.push_back(fields[2]);
    } else {
      lines.push_back(L"rundll32.exe " + fields[0] + L"," + fields[1] + L" " + fields[2]);
    }
  }
  return lines;
}

}  // namespace velmora
