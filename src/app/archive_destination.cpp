#include "app/archive_destination.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "common/strings.h"
#include "environment/accounts.h"

namespace velmora {

std::wstring SessionUserDesktop(const std::wstring& desktop, const std::wstring& session_user,
                                const std::wstring& process_user) {
  // An unknown name would put "\\" into the path in place of a folder.
  if (session_user.empty() || process_user.empty()) return desktop;
  if (EqualsNoCase(session_user, process_user)) return desktop;
  return ReplaceAllNoCase(desktop, L"\\" + process_user + L"\\", L"\\" + session_user + L"\\");
}

std::wstring ChooseDesktopFolder(const DesktopFacts& facts) {
  // A profile folder need not be named after its account (a domain profile
  // "bob.CONTOSO", a second profile "bob.000", a renamed account, a desktop
  // redirected to a share): only the profile itself can tell.
  const std::wstring desktop =
      !facts.console_desktop.empty()
          ? facts.console_desktop
          : SessionUserDesktop(facts.own_desktop, facts.session_user, facts.process_user);
  if (desktop.empty() || !facts.console_user_may_write(desktop)) return {};
  return desktop;
}

std::wstring ArchivePathIn(const std::wstring& folder) {
  const std::wstring path = folder + L"\\" + kArchiveName;
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<wchar_t> full(needed);
  const DWORD n = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  return n == 0 || n >= needed ? path : std::wstring(full.data(), n);
}

ArchiveOptions ArchiveOptionsActingAs(UniqueHandle token) {
  ArchiveOptions options = DefaultArchiveOptions();
  auto user = std::make_shared<UniqueHandle>(std::move(token));
  options.at_destination = [user](const std::function<void()>& change) {
    const ActingAsUser as_user(user->get());
    if (!as_user.active()) throw NoConsoleUser();
    change();
  };
  return options;
}

bool IsOnDesktop(const std::wstring& archive_path) {
  return ToLower(archive_path).find(L"desktop") != std::wstring::npos;
}

}  // namespace velmora
