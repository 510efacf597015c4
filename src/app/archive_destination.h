// Where the archive goes: the desktop of the user at the console, even when
// the program runs elevated under another account.
#pragma once

#include <functional>
#include <string>

#include "app/archive/make_archive.h"
#include "common/errors.h"
#include "common/handles.h"

namespace velmora {

inline constexpr wchar_t kArchiveName[] = L"Velmora_Debug_Info.zip";

// Turns the running account's desktop into the session user's by replacing the
// path segment \process_user\ with \session_user\. Unchanged when the names are
// equal apart from case, or when either name is unknown.
std::wstring SessionUserDesktop(const std::wstring& desktop, const std::wstring& session_user,
                                const std::wstring& process_user);

// What the choice of the archive's folder rests on.
struct DesktopFacts {
  std::wstring own_desktop;   // of the account that the program runs as; may be empty
  std::wstring session_user;  // the user at the console; may be empty
  std::wstring process_user;  // the account that the program runs as; may be empty
  // The console user's desktop as their own profile gives it (through their
  // shell's token); empty when no token could be had or the shell could not say.
  std::wstring console_desktop;
  // Whether a folder exists and belongs to the user at the console, or that
  // user may add files to it.
  std::function<bool(const std::wstring&)> console_user_may_write;
};

// The desktop folder of the user at the console: the one their profile names
// where it can be asked, else (the last resort) the program's own desktop
// with its account's name replaced by the console user's. Empty when that
// folder is not the console user's to write to: the archive then goes beside
// the program, never onto a third account's desktop.
std::wstring ChooseDesktopFolder(const DesktopFacts& facts);

// Full, normalised path of the archive in `folder`.
std::wstring ArchivePathIn(const std::wstring& folder);

// The archive goes into a folder of the user at the console, which the
// program, running elevated, could write to far beyond that user's rights: a
// link put there since the folder was chosen could lead the write (or the
// failure path's delete) into a system folder. With these options the
// archive's changes in that folder are made with the rights of the token's
// user (the shell token of the user at the console). Without a token, or
// when the thread cannot take it on, no change is made: NoConsoleUser is
// raised instead, and the window says why the archive was not saved.
class NoConsoleUser : public ReportError {
 public:
  NoConsoleUser() : ReportError("the console user's rights could not be taken on", 0) {}
};
ArchiveOptions ArchiveOptionsActingAs(UniqueHandle token);

// Whether a destination counts as the desktop ("desktop" anywhere in it).
bool IsOnDesktop(const std::wstring& archive_path);

}  // namespace velmora
