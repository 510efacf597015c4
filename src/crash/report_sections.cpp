#include "crash/report_sections.h"

#include <algorithm>

#include "common/lock.h"

namespace velmora::crash {

namespace {

// The crash reporter may read the sections from whichever thread crashed.
CriticalSection g_lock;
std::vector<ReportSection> g_sections;

std::vector<ReportSection>::iterator Locate(const std::wstring& name) {
  return std::find_if(g_sections.begin(), g_sections.end(),
                      [&](const ReportSection& s) { return s.name == name; });
}

}  // namespace

void RegisterSection(const std::wstring& name, const std::wstring& description,
                     SectionHandler handler) {
  ScopedLock lock(g_lock);
  auto existing = Locate(name);
  if (existing != g_sections.end()) {
    existing->handler = handler;
  } else {
    g_sections.push_back({name, description, handler});
  }
}

void UnregisterSection(const std::wstring& name) {
  ScopedLock lock(g_lock);
  auto existing = Locate(name);
  if (existing != g_sections.end()) g_sections.erase(existing);
}

std::optional<ReportSection> FindSection(const std::wstring& name) {
  ScopedLock lock(g_lock);
  auto existing = Locate(name);
  if (existing == g_sections.end()) return std::nullopt;
  return *existing;
}

std::vector<ReportSection> Sections() {
  ScopedLock lock(g_lock);
  return g_sections;
}

}  // namespace velmora::crash
