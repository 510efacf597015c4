// How the data of an autostart value becomes lines of the autoruns report:
// the comma lists of the NT Run, Load, Shell and Userinit values, and the
// bar-separated entries of RunOnceEx.
#pragma once

#include <string>
#include <vector>

#include "common/report_list.h"

namespace velmora {

// Empty, or nothing but blanks and control characters.
bool IsBlank(const std::wstring& text);

// Items as the shell reads such a list: commas and blanks separate them, a
// quoted item may hold blanks and commas ("" inside stands for one quotation
// mark, and a missing closing quotation mark runs to the end), and a comma at
// the very end adds one empty item. Empty items are kept. A NUL separates
// items as a blank does.
std::vector<std::wstring> SplitCommaList(const std::wstring& text);

// Every item of the list that is not blank, as split.
ReportList CommaListLines(const std::wstring& text);

// The files that Windows starts in place of, or besides, its own shell or
// logon program. A first item that names the standard program (such as
// "explorer.exe"), bare or in the system or the Windows folder, is Windows'
// own and left out, without regard to letter case; later items always stay.
ReportList WinlogonLines(const std::wstring& text, const std::wstring& standard_program,
                         const std::wstring& system_dir, const std::wstring& windows_dir);

// The pieces between bars, empty pieces dropped: "||cmd" gives "cmd".
std::vector<std::wstring> SplitRunOnceExFields(const std::wstring& text);

// The command lines that RunOnceEx makes of one entry value "library|function|
// arguments": "rundll32.exe <library>", then with ",<function>", then with
// the arguments too, each only when its own fields are there; arguments
// alone (library and function blank) run as they stand.
ReportList RunOnceExLines(const std::wstring& text);

}  // namespace velmora
