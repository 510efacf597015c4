// Opening a web page or an Explorer window as the user at the console would:
// through the shell of their desktop, which runs with that user's rights,
// not with the elevated program's.
#pragma once

#include <functional>
#include <string>

namespace velmora {

struct ShellRequest {
  std::wstring file;        // a document, a web address or a program's full path
  std::wstring parameters;  // may be empty
  int show;                 // SW_SHOW, SW_SHOWNORMAL ...
};

// Asks the shell of the console user's desktop (Explorer's shell
// application, reached through its desktop window) to open the request with
// the verb "open". False when there is no such shell to ask or it refuses.
// Call on a single-threaded apartment.
bool OpenThroughDesktopShell(const ShellRequest& request);

// How a request is carried out: only through the desktop's shell. The
// program's own ShellExecute would start the browser or Explorer with the
// program's rights, which may be an administrator's; without a desktop shell
// to ask, nothing is started and the caller's window says what it would have
// shown. Replaceable so that a test can play the shell's part.
struct ShellOpeners {
  std::function<bool(const ShellRequest&)> through_desktop = OpenThroughDesktopShell;
};
// True when the desktop's shell took the request.
bool OpenAsDesktopUser(const ShellRequest& request, const ShellOpeners& openers = {});

// Explorer by its full path in the Windows folder, opening the folder of
// `path` with it selected ("/select," and the path in quotes).
ShellRequest ExplorerSelecting(const std::wstring& path);

}  // namespace velmora
