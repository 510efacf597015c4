// Registry-editor export text of whole subtrees: the uninstall entries, the
// product's boot-time service keys and the services tree. Each appends to the
// list it is given; an error ends only that export, with what it wrote so far.
#pragma once

#include "common/report_list.h"

namespace velmora {

// The machine's and the user's uninstall trees; on 64-bit Windows each is
// followed by its 32-bit twin under Wow6432Node. Text with backslashes doubled.
void ExportUninstallKeys(ReportList& list);
// The keys of the services CorvaneBootTime and CorvaneDriver, as the uninstall export.
void ExportBootTimeKeys(ReportList& list);
// The separator line, then the whole services tree: text as stored, DWORDs,
// and no binary or other values.
void ExportServicesKey(ReportList& list);

}  // namespace velmora
