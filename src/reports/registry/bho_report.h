// The browser helper objects block of the main report: every class registered
// to load into Internet Explorer, with its description and in-process server.
#pragma once

#include "common/report_list.h"

namespace velmora {

// An empty line, "===== BHOs =====", an empty line, then one line
// "<description>, <server path>" per registered class in the registry's order.
ReportList GetBhoReport();

}  // namespace velmora
