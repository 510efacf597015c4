// The autoruns block of the main report: what Windows starts by itself at
// logon, from the Startup folders and the autostart places of the registry.
#pragma once

#include "common/report_list.h"

namespace velmora {

// An empty line, "===== Autoruns =====", an empty line, then the groups
// Startup, Run, RunOnce, RunOnceEx, policies Run, NT Run and Windows Shell in
// this order, each introduced by "---------- <group> ----------" when it has
// lines at all. Registry places are read under HKEY_CURRENT_USER, then
// HKEY_LOCAL_MACHINE, then (on 64-bit Windows) their Wow6432Node twins in
// the same root order.
//
// A value that is not text in an autostart place is left out; the rest of
// the report stays. Any other failure (such as a shell-link object that
// cannot be made) is raised to the caller and the report is lost.
ReportList GetAutorunsReport();

}  // namespace velmora
