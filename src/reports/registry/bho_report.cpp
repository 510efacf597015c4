#include "reports/registry/bho_report.h"

#include <vector>

#include "common/report_budget.h"
#include "reports/registry/registry_class_ex.h"
#include "ui/application.h"

namespace velmora {

namespace {

constexpr wchar_t kBhoKey[] =
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";
constexpr wchar_t kClassesKey[] = L"\\SOFTWARE\\Classes\\CLSID\\";

// The key's default value; empty when the key does not open with full access
// or its default value is not text, so that one odd class cannot cost the report.
std::wstring DefaultTextOf(TRegistry& registry, const std::wstring& path) {
  if (!registry.OpenKeyFull(path)) return {};
  std::wstring text;
  try {
    text = registry.ReadText(L"");
  } catch (const ERegistryException&) {
  }
  registry.CloseCurrentKey();
  return text;
}

}  // namespace

ReportList GetBhoReport() {
  ReportList list = {L"", L"===== BHOs =====", L""};
  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  if (!registry.OpenKeyFull(kBhoKey)) return list;
  std::vector<std::wstring> classes;
  registry.ListSubkeys(classes);
  if (classes.empty()) return list;
  registry.CloseCurrentKey();
  ReportBudget budget(kReportBlockBudget);
  size_t left_out = 0;
  for (const std::wstring& class_id : classes) {
    // Past the budget the rest is only counted, never read.
    if (budget.exhausted()) {
      ++left_out;
      continue;
    }
    ui::ProcessMessages();
    const std::wstring class_key = kClassesKey + class_id;
    const std::wstring description = DefaultTextOf(registry, class_key);
    const std::wstring server = DefaultTextOf(registry, class_key + L"\\InprocServer32");
    if (!budget.Add(list, description + L", " + server)) ++left_out;
  }
  if (budget.exhausted()) list.push_back(LeftOutNote(left_out, budget));
  return list;
}

}  // namespace velmora
