#include "crash/report_sections.h"

#include <algorithm>

#include "common/lock.h"

namespace velmora::crash {

namespace {

// The crash reporter may read the sections from whichever thread crashed.
struct Registry {
  CriticalSection lock;
  std::vector<ReportSection> sections;
};

// Made on first use, at start-up, and never destroyed: a fault while the
// program ends, after the static destructors, still reads it.
Registry& TheRegistry() {
  static Registry* const registry = new Registry();
  return *registry;
}

std::vector<ReportSection>::iterator Locate(Registry& registry, const std::wstring& name) {
  return std::find_if(registry.sections.begin(), registry.sections.end(),
                      [&](const ReportSection& s) { return s.name == name; });
}

}  // namespace

void RegisterSection(const std::wstring& name, const std::wstring& description,
                     SectionHandler handler) {
  Registry& registry = TheRegistry();
  ScopedLock lock(registry.lock);
  auto existing = Locate(registry, name);
  if (existing != registry.sections.end()) {
    existing->handler = handler;
  } else {
    registry.sections.push_back({name, description, handler});
  }
}

void UnregisterSection(const std::wstring& name) {
  Registry& registry = TheRegistry();
  ScopedLock lock(registry.lock);
  auto existing = Locate(registry, name);
  if (existing != registry.sections.end()) registry.sections.erase(existing);
}

std::optional<ReportSection> FindSection(const std::wstring& name) {
  Registry& registry = TheRegistry();
  ScopedLock lock(registry.lock);
  auto existing = Locate(registry, name);
  if (existing == registry.sections.end()) return std::nullopt;
  return *existing;
}

std::vector<ReportSection> Sections() {
  Registry& registry = TheRegistry();
  ScopedLock lock(registry.lock);
  return registry.sections;
}

}  // namespace velmora::crash
