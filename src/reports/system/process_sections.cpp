#include "reports/system/process_sections.h"

#include "crash/report_sections.h"
#include "reports/system/module_report.h"
#include "reports/system/process_report.h"

namespace velmora {

void RegisterProcessSections() {
  // The handlers run after a crash, which must not load a DLL.
  PrepareProcessReport();
  PrepareModuleReport();
  crash::RegisterSection(L"processes", L"list of running processes", &GetProcessReport);
  crash::RegisterSection(L"modules", L"list of loaded modules", &GetModuleReport);
}

void UnregisterProcessSections() {
  crash::UnregisterSection(L"processes");
  crash::UnregisterSection(L"modules");
}

}  // namespace velmora
