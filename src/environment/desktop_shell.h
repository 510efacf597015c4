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

// The program's own ShellExecute with the verb "open"; the result is ignored.
bool OpenDirectly(const ShellRequest& request);

// How a request is carried out: through the desktop's shell where there is
// one, else directly. Replaceable so that a test can play either part.
struct ShellOpeners {
  std::function<bool(const ShellRequest&)> through_desktop = OpenThroughDesktopShell;
  std::function<bool(const ShellRequest&)> directly = OpenDirectly;
};
void OpenAsDesktopUser(const ShellRequest& request, const ShellOpeners& openers = {});

// Explorer by its full path in the Windows folder, opening the folder of
// `path` with it selected ("/select," and the path in quotes).
ShellRequest ExplorerSelecting(const std::wstring& path);

}  // namespace velmora
