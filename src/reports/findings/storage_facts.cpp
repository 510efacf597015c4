#include "reports/findings/findings_facts.h"
#include "reports/findings/findings_text.h"

namespace velmora {

const std::wstring* LabelledLines::Find(std::wstring_view label) const {
  for (const auto& [name, value] : lines) {
    if (name == label) return &value;
  }
  return nullptr;
}

namespace {

// "Label: value"; event lines (indented) and lines without a label give nothing.
std::optional<std::pair<std::wstring, std::wstring>> LabelledLine(const std::wstring& line) {
  if (line.empty() || line[0] == L' ') return std::nullopt;
  const size_t colon = line.find(L": ");
  if (colon == std::wstring::npos) return std::nullopt;
  return std::make_pair(line.substr(0, colon), line.substr(colon + 2));
}

}  // namespace

// The machine block first, then one block per volume, blocks parted by an empty line.
StorageFacts ParseStorageReport(const ReportList& lines) {
  StorageFacts facts;
  LabelledLines* block = nullptr;
  for (const std::wstring& line : lines) {
    if (line == L"Machine") {
      block = &facts.machine;
    } else if (StartsWith(line, L"Volume: ")) {
      facts.volumes.push_back({line.substr(8), {}});
      block = &facts.volumes.back().facts;
    } else if (line.empty()) {
      block = nullptr;
    } else if (block != nullptr) {
      if (auto labelled = LabelledLine(line)) block->lines.push_back(std::move(*labelled));
    }
  }
  return facts;
}

}  // namespace velmora
