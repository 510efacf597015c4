// Who the program runs as, who sits at the machine, and tokens.
#pragma once

#include <windows.h>

#include <string>

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
DWORD GetActiveSessionId();
// The token of the shell (explorer.exe) of the user at the console: the one in
// the active session, on Windows 2000 the first one. Duplicated so that a
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
