#include <algorithm>

#include "reports/findings/findings_facts.h"
#include "reports/findings/findings_text.h"

namespace velmora {

namespace {

bool IsDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}

using Lines = ReportList;
constexpr size_t kNone = static_cast<size_t>(-1);

size_t IndexOf(const Lines& lines, std::wstring_view line, size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i) {
    if (lines[i] == line) return i;
  }
  return kNone;
}

size_t IndexStartingWith(const Lines& lines, std::wstring_view prefix, size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i) {
    if (StartsWith(lines[i], prefix)) return i;
  }
  return kNone;
}

// The value after "Label:\t" in the system summary, which ends at the process block.
std::optional<std::wstring> SummaryValue(const Lines& lines, size_t end, std::wstring_view label) {
  const size_t at = IndexStartingWith(lines, label);
  if (at == kNone || at >= end) return std::nullopt;
  return lines[at].substr(label.size());
}

void ReadSummary(const Lines& lines, size_t end, MainReportFacts& facts) {
  facts.os_name = SummaryValue(lines, end, L"OS Name:\t");
  // "%d MB"; a failed query prints 0 of 0, which says nothing.
  const auto total = SummaryValue(lines, end, L"Memory Size:\t");
  const auto free = SummaryValue(lines, end, L"Free Size:\t");
  if (total && free) facts.memory_mb = LeadingNumber(*total);
  if (facts.memory_mb && *facts.memory_mb > 0) {
    facts.free_memory_mb = LeadingNumber(*free);
  } else {
    facts.memory_mb.reset();
  }
}

// A row: id, name (may hold blanks), the session when any is shown, GDI and
// USER counts, then the middle text "handles,threads| ...".
std::optional<ProcessFact> ProcessRow(const std::wstring& row) {
  const size_t bar = row.find(L"| ");
  if (bar == std::wstring::npos) return std::nullopt;
  const size_t comma = row.rfind(L',', bar);
  if (comma == std::wstring::npos) return std::nullopt;
  std::vector<std::wstring> words;
  size_t at = 0;
  const std::wstring head = row.substr(0, comma);
  while ((at = head.find_first_not_of(L' ', at)) != std::wstring::npos) {
    const size_t end = std::min(head.find(L' ', at), head.size());
    words.push_back(head.substr(at, end - at));
    at = end;
  }
  if (words.size() < 5) return std::nullopt;  // id, name, GDI, USER, handles
  const auto gdi = WholeNumber(words[words.size() - 3]);
  const auto user = WholeNumber(words[words.size() - 2]);
  if (!gdi || !user) return std::nullopt;
  std::wstring name = words[1];
  for (size_t i = 2; i + 3 < words.size(); ++i) name += L" " + words[i];
  return ProcessFact{words[0], name, *gdi, *user};
}

// The rows between the second separator and the empty line before "Virtual memory:".
std::optional<std::vector<ProcessFact>> ReadProcesses(const Lines& lines, size_t start) {
  const size_t end = IndexOf(lines, L"", start);
  if (end == kNone || end + 1 >= lines.size() || !StartsWith(lines[end + 1], L"Virtual memory:")) {
    return std::nullopt;
  }
  std::vector<ProcessFact> processes;
  for (size_t i = start; i < end; ++i) {
    if (auto process = ProcessRow(lines[i])) processes.push_back(std::move(*process));
  }
  // A session column is told apart from a name's last word only over all rows:
  // it is there when every row has a number before its GDI count.
  const auto session_at = [](const ProcessFact& p) { return p.name.rfind(L' '); };
  const bool sessions =
      !processes.empty() &&
      std::all_of(processes.begin(), processes.end(), [&](const ProcessFact& p) {
        const size_t blank = session_at(p);
        return blank != std::wstring::npos && WholeNumber(p.name.substr(blank + 1));
      });
  if (sessions) {
    for (ProcessFact& p : processes) p.name.resize(session_at(p));
  }
  return processes;
}

size_t Digits(const std::wstring& text, size_t at, bool sign, bool hex) {
  size_t end = at;
  if (sign && end < text.size() && text[end] == L'-') ++end;
  const size_t first = end;
  while (end < text.size() &&
         (IsDigit(text[end]) || (hex && text[end] >= L'A' && text[end] <= L'F'))) {
    ++end;
  }
  return end > first ? end : kNone;
}

// " TYPE  STATE  EXIT START " right after the padded display name.
std::optional<ServiceFact> ServiceRow(const std::wstring& line) {
  for (size_t at = 30; at < line.size(); at = line.find(L' ', at + 1)) {
    if (at == std::wstring::npos) break;
    size_t p = at + 1;
    size_t q[4];
    const std::wstring_view blanks[4] = {L"  ", L"  ", L" ", L" "};
    bool matched = true;
    for (int i = 0; i < 4 && matched; ++i) {
      q[i] = Digits(line, p, i == 1 || i == 2, i == 0);
      matched = q[i] != kNone && line.compare(q[i], blanks[i].size(), blanks[i]) == 0;
      p = matched ? q[i] + blanks[i].size() : p;
    }
    if (!matched || line[at] != L' ') continue;
    ServiceFact service;
    service.display_name = line.substr(0, at);
    service.display_name.erase(service.display_name.find_last_not_of(L' ') + 1);
    for (size_t i = at + 1; i < q[0] && i < at + 9; ++i) {
      service.type = service.type * 16 + (IsDigit(line[i]) ? line[i] - L'0' : line[i] - L'A' + 10);
    }
    const auto state = LeadingNumber(line.substr(q[0] + 2, q[1] - q[0] - 2));
    const auto start_type = LeadingNumber(line.substr(q[2] + 1, q[3] - q[2] - 1));
    service.state = state ? static_cast<int>(*state) : -1;
    service.start_type = start_type ? static_cast<int>(*start_type) : -1;
    // The path, then one blank, then the file's fingerprint or nothing.
    std::wstring rest = line.substr(p);
    const size_t fingerprint = rest.rfind(L" Ver:");
    rest.resize(fingerprint != std::wstring::npos ? fingerprint
                                                  : (rest.empty() ? 0 : rest.size() - 1));
    service.binary_path = rest;
    return service;
  }
  return std::nullopt;
}

// The table between the separator after the process block and the next one;
// a report without the table has the browser helper objects' separator there.
std::optional<std::vector<ServiceFact>> ReadServices(const Lines& lines, size_t heap) {
  const size_t start = IndexOf(lines, kSeparatorLine, heap);
  if (start == kNone || start + 2 >= lines.size() ||
      (lines[start + 1].empty() && lines[start + 2] == L"===== BHOs =====")) {
    return std::nullopt;
  }
  const size_t end = std::min(IndexOf(lines, kSeparatorLine, start + 1), lines.size());
  std::vector<ServiceFact> services;
  for (size_t i = start + 1; i < end; ++i) {
    if (auto service = ServiceRow(lines[i])) services.push_back(std::move(*service));
  }
  return services;
}

std::optional<SecurityFacts> ReadSecurity(const Lines& lines, size_t start, size_t firewall) {
  SecurityFacts security;
  std::wstring section;
  for (size_t i = start; i < firewall; ++i) {
    if (StartsWith(lines[i], L"[")) section = lines[i];
    if (StartsWith(lines[i], L"Name:")) ++security.products;
    if (section == L"[FirewallProduct]" && StartsWith(lines[i], L"Enabled=True")) {
      security.firewall_product_enabled = true;
    }
  }
  for (size_t i = firewall + 1; i < lines.size() && i <= firewall + 4; ++i) {
    const size_t equals = lines[i].find(L'=');
    if (equals == std::wstring::npos || StartsWith(lines[i], L"*")) break;
    security.firewall.emplace_back(lines[i].substr(0, equals), lines[i].substr(equals + 1));
  }
  return security;
}

// "relative   Ver:version   MD5:digest   DT:date"
std::optional<FilesReportRow> FilesRow(const std::wstring& line) {
  const size_t date = line.rfind(L"   DT:");
  const size_t md5 = line.rfind(L"   MD5:", date);
  const size_t version = line.rfind(L"   Ver:", md5);
  if (date == std::wstring::npos || md5 == std::wstring::npos || version == std::wstring::npos) {
    return std::nullopt;
  }
  return FilesReportRow{line, line.substr(0, version), line.substr(md5 + 7, date - md5 - 7),
                        line.substr(date + 6)};
}

}  // namespace

// The blocks in the order the report job writes them: summary, processes,
// services, ..., security products and firewall, files report.
MainReportFacts ParseMainReport(const ReportList& lines) {
  MainReportFacts facts;
  const size_t summary = IndexOf(lines, kSeparatorLine);
  const size_t processes = summary == kNone ? kNone : IndexOf(lines, kSeparatorLine, summary + 1);
  ReadSummary(lines, processes == kNone ? lines.size() : processes, facts);
  if (processes == kNone) return facts;
  facts.processes = ReadProcesses(lines, processes + 1);
  const size_t heap = IndexStartingWith(lines, L"DesktopHeap:", processes + 1);
  if (heap == kNone) return facts;
  facts.services = ReadServices(lines, heap);
  const size_t security = IndexOf(lines, L"[AntiVirusProduct]", heap);
  const size_t firewall = IndexOf(lines, L"[Windows FireWall]", security == kNone ? 0 : security);
  if (security == kNone || firewall == kNone) return facts;
  facts.security = ReadSecurity(lines, security, firewall);
  const auto last = std::find(lines.rbegin(), lines.rend(), kSeparatorLine);
  for (size_t i = lines.rend() - last; i > firewall && i < lines.size(); ++i) {
    if (auto row = FilesRow(lines[i])) facts.files.push_back(std::move(*row));
  }
  return facts;
}

}  // namespace velmora
