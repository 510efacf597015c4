// The target of a shell shortcut (".lnk" file), as the autoruns report shows it.
#pragma once

#include <functional>
#include <string>

namespace velmora {

// The target path and arguments as `"<target>" <arguments>`: the quotation
// marks and the blank are there even when a part is empty, so a shortcut that
// cannot be read gives `"" `. OLE is initialised on the calling thread for the
// call only. Raises ReportError when the shell-link object cannot be made.
std::wstring ResolveShortcut(const std::wstring& path);

// A shortcut's target as it holds it ("%ProgramFiles%\\..."), expanded as the
// native system would: under WOW64 the 32-bit process's own ProgramFiles and
// CommonProgramFiles name the "(x86)" folders, so their 64-bit values
// (ProgramW6432, CommonProgramW6432) stand in for them. `variable` gives an
// environment variable's value, empty when it is not set; a variable that is
// not set stays as it was written, as the platform's expansion leaves it.
std::wstring ExpandAsNativeSystem(const std::wstring& raw, bool wow64,
                                  const std::function<std::wstring(const std::wstring&)>& variable);

}  // namespace velmora
