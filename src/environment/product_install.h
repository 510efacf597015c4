// Where the product is installed, from the uninstall entries its installers write.
#pragma once

#include <string>

#include "common/handles.h"

namespace velmora {

// The product's uninstall entries in the order the lookup tries them: version 4
// Pro and free, the free editions of 3 and 2, the Pro editions of 3 and 2, and
// last version 6, which this program accompanies.
inline constexpr const wchar_t* kProductUninstallKeys[] = {
    L"Corvane 4 Pro_is1", L"Corvane 4_is1",     L"Corvane 3_is1", L"Corvane 2_is1",
    L"Corvane 3 Pro_is1", L"Corvane 2 Pro_is1", L"Corvane_is1",
};

// The product's uninstall entry of that name, opened for reading in the
// installers' (32-bit) view; invalid when it cannot be opened.
UniqueRegKey OpenUninstallEntry(const std::wstring& key);

// The "InstallLocation" of that entry under the machine's uninstall key in the
// 32-bit view, unexpanded, with a trailing backslash; empty when the entry is
// missing or its location is empty or not text.
std::wstring GetInstallLocation(const std::wstring& key);

// The first location that an entry of the table gives, or empty.
std::wstring FindProductInstallPath();

// The product's installation folder (trailing backslash) as the report job
// found it for the files report, or empty. Written and read on the report's
// worker thread only.
extern std::wstring ProductInstallPath;

}  // namespace velmora
