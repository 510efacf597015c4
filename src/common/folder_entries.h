#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace velmora {

// Calls `visit` with the name and the found data of every entry that matches
// `pattern` (a folder and a mask, such as "C:\\dir\\*.*"), in the order of the
// search, leaving out "." and "..". False when the search cannot start.
bool ForEachFolderEntry(
    const std::wstring& pattern,
    const std::function<void(const std::wstring& name, const WIN32_FIND_DATAW& entry)>& visit);

}  // namespace velmora
