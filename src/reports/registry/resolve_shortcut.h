// The target of a shell shortcut (".lnk" file), as the autoruns report shows it.
#pragma once

#include <string>

namespace velmora {

// The target path and arguments as `"<target>" <arguments>`: the quotation
// marks and the blank are there even when a part is empty, so a shortcut that
// cannot be read gives `"" `. OLE is initialised on the calling thread for the
// call only. Raises ReportError when the shell-link object cannot be made.
std::wstring ResolveShortcut(const std::wstring& path);

}  // namespace velmora
