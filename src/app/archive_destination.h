// Where the archive goes: the desktop of the user at the console, even when
// the program runs elevated under another account.
#pragma once

#include <string>

#include "app/archive/make_archive.h"
#include "common/handles.h"

namespace velmora {

inline constexpr wchar_t kArchiveName[] = L"Velmora_Debug_Info.zip";

// Turns the running account's desktop into the session user's by replacing the
// path segment \process_user\ with \session_user\. Unchanged when the names are
// equal apart from case, or when either name is unknown.
std::wstring SessionUserDesktop(const std::wstring& desktop, const std::wstring& session_user,
                                const std::wstring& process_user);

// Full, normalised path of the archive in `folder`.
std::wstring ArchivePathIn(const std::wstring& folder);

// The archive goes into a folder of the user at the console, which the
// program, running elevated, could write to far beyond that user's rights: a
// link there could lead into a system folder. With these options the
// archive's changes in that folder are made with the rights of the token's
// user (the shell token of the user at the console); with no token, with the
// program's own.
ArchiveOptions ArchiveOptionsActingAs(UniqueHandle token);

// Whether a destination counts as the desktop ("desktop" anywhere in it).
bool IsOnDesktop(const std::wstring& archive_path);

}  // namespace velmora
