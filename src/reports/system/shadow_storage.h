// The shadow copy storage (diff area) that a volume's shadow copies use: how
// much of it is in use, how much is set aside and how far it may grow, as
// the shadow copy service's system provider reports it.
#pragma once

#include <windows.h>

#include <vsmgmt.h>

#include <string>
#include <vector>

namespace velmora {

// The value of the "Shadow storage" line from the query's result and its
// associations (VSS_DIFF_AREA_PROP): "none" when there are none.
std::wstring ShadowStorageValue(HRESULT result, const std::vector<VSS_DIFF_AREA_PROP>& areas);

// Asks the shadow copy service about the volume at `root` ("C:\", a mount
// folder or "\\?\Volume{...}\"). The calling thread must be in a COM
// apartment.
std::wstring ReadShadowStorage(const std::wstring& root);

}  // namespace velmora
