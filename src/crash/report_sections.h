// The named sections that a crash report is built from. Modules register a
// handler that returns the section's text; the crash reporter calls them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora::crash {

using SectionHandler = std::wstring (*)();

struct ReportSection {
  std::wstring name;
  std::wstring description;
  SectionHandler handler;
};

// A section with exactly this name (case-sensitive) keeps its place and
// description and gets the new handler; otherwise a new section is added.
void RegisterSection(const std::wstring& name, const std::wstring& description,
                     SectionHandler handler);
void UnregisterSection(const std::wstring& name);
std::optional<ReportSection> FindSection(const std::wstring& name);
// In registration order.
std::vector<ReportSection> Sections();

}  // namespace velmora::crash
