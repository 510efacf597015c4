// The security block of the main report: the products that Windows Security
// Center knows, and the state of the built-in Windows Firewall.
#pragma once

#include "common/report_list.h"

namespace velmora {

// Appends "[AntiVirusProduct]", "[AntiSpywareProduct]", "[FirewallProduct]"
// and "[Windows FireWall]" with their lines. The calling thread is a
// single-threaded COM apartment for the duration. Each section guards itself:
// a failure ends that section with the lines it has, and nothing is raised.
void AppendSecurityReport(ReportList& list);

// An empty line, "[Windows FireWall]", then "HomeNetFwEnabled=",
// "PublicNetFwEnabled=", "FireWallEnabled=" with "True" or "False", and
// "FwObj=valid" or "FwObj=nil" (whether the firewall's manager could be
// made). A line whose making fails is left out; the next is still tried.
void AppendWindowsFirewall(ReportList& list);

}  // namespace velmora
