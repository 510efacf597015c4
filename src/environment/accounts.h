// Who the program runs as, who sits at the machine, and tokens.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/handles.h"

namespace velmora {

std::wstring GetCurrentUserName();
// Account name (without domain) of the process's token user; empty on failure.
std::wstring GetProcessUserName(DWORD process_id);
// First process whose image file name equals `image_name` (and, when `owner`
// is not empty, whose account equals it), all without regard to case; 0 if none.
DWORD FindProcessByName(const std::wstring& image_name, const std::wstring& owner);
// A primary token duplicated from that process; invalid on any failure.
UniqueHandle DuplicateProcessToken(const std::wstring& image_name, const std::wstring& owner);
// The integrity-level RID of the token, 0 on failure.
DWORD GetTokenIntegrityRid(HANDLE token);
// The session of the user who started the program: that of its own
// session's shell, else the console session (see ChooseSessionShell).
DWORD GetActiveSessionId();

// A running explorer.exe as the choice of the session's shell sees it.
struct ShellProcess {
  DWORD process_id;
  std::wstring image_path;  // full path; empty when it could not be read
  DWORD session;
};
// What the choice rests on; given by the system, or by a test.
struct SessionShellFacts {
  DWORD shell_window_process = 0;  // of GetShellWindow's window; 0 when there is none
  DWORD own_session = 0;           // the program's own
  DWORD console_session = 0;
  std::vector<std::wstring> explorer_paths;  // the system's own Explorer
  std::vector<ShellProcess> shells;
};
// The shell of the program's own session: the process of the shell window
// where it is the system's own Explorer in that session, else the
// first such Explorer in that session; only where the own session has none,
// the first in the console session. Of a Remote Desktop host's or a
// switched machine's several users this is the one who started the program.
// 0 when there is none.
DWORD ChooseSessionShell(const SessionShellFacts& facts);
// The token of the shell (explorer.exe) of the user at the console: the one
// that ChooseSessionShell names, on Windows 2000 the first one. Duplicated so that a
// thread can take on that user's rights; invalid when there is no such shell.
UniqueHandle DuplicateConsoleShellToken();

// Whether `folder` exists and belongs to a user or that user may add files
// to it. The user is the one of `token` where there is one (whose rights are
// then checked too), else the account named `user_name` (owner only).
bool UserMayWriteFolder(HANDLE token, const std::wstring& user_name, const std::wstring& folder);

// While it lives, the calling thread acts with the rights of the token's user
// instead of the program's own.
class ActingAsUser {
 public:
  // A null token leaves the thread as it is.
  explicit ActingAsUser(HANDLE token);
  ~ActingAsUser();
  ActingAsUser(const ActingAsUser&) = delete;
  ActingAsUser& operator=(const ActingAsUser&) = delete;
  bool active() const { return active_; }

 private:
  bool active_;
};
// The user of the active interactive session; empty for the system account or when unknown.
std::wstring GetSessionUserName();

}  // namespace velmora
