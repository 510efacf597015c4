// Where the archive goes: the desktop of the user at the console, even when
// the program runs elevated under another account.
#pragma once

#include <string>

namespace velmora {

inline constexpr wchar_t kArchiveName[] = L"Velmora_Debug_Info.zip";

// Turns the running account's desktop into the session user's by replacing the
// path segment \process_user\ with \session_user\. Unchanged when the names are
// equal apart from case, or when either name is unknown.
std::wstring SessionUserDesktop(const std::wstring& desktop, const std::wstring& session_user,
                                const std::wstring& process_user);

// Full, normalised path of the archive in `folder`.
std::wstring ArchivePathIn(const std::wstring& folder);

// Whether a destination counts as the desktop ("desktop" anywhere in it).
bool IsOnDesktop(const std::wstring& archive_path);

}  // namespace velmora
