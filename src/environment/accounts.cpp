#include "environment/accounts.h"

#include <aclapi.h>
#include <wtsapi32.h>

#include <algorithm>
#include <vector>

#include "common/dynamic_function.h"
#include "common/process_snapshot.h"
#include "common/strings.h"
#include "common/system_library.h"
#include "environment/folders.h"

namespace velmora {

namespace {

using ActiveConsoleSessionFn = DWORD(WINAPI*)();
using ProcessIdToSessionIdFn = BOOL(WINAPI*)(DWORD, DWORD*);
using QuerySessionInformationFn = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
using FreeMemoryFn = void(WINAPI*)(void*);

bool IsWindows2000() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return ::GetVersionExW(&info) && info.dwMajorVersion == 5 && info.dwMinorVersion == 0;
#pragma GCC diagnostic pop
}

ActiveConsoleSessionFn LookUpActiveConsoleSession() {
  return LookUpFunction<ActiveConsoleSessionFn>(::GetModuleHandleW(L"Kernel32.dll"),
                                                "WTSGetActiveConsoleSessionId");
}

// The session functions of the Terminal Services library, looked up by name:
// a static import would keep the program from starting where it is missing.
struct SessionApi {
  ProcessIdToSessionIdFn process_session = nullptr;
  QuerySessionInformationFn query = nullptr;
  FreeMemoryFn free_memory = nullptr;

  static SessionApi Load() {
    HMODULE wtsapi = LoadSystemLibrary(L"wtsapi32.dll");
    SessionApi api{LookUpFunction<ProcessIdToSessionIdFn>(::GetModuleHandleW(L"kernel32.dll"),
                                                          "ProcessIdToSessionId"),
                   LookUpFunction<QuerySessionInformationFn>(wtsapi, "WTSQuerySessionInformationW"),
                   LookUpFunction<FreeMemoryFn>(wtsapi, "WTSFreeMemory")};
    if (api.free_memory == nullptr) api.query = nullptr;  // its memory could not be freed
    return api;
  }
};

// All are fixed when the program starts, before any other thread exists.
const bool g_is_windows_2000 = IsWindows2000();
const ActiveConsoleSessionFn g_active_console_session =
    g_is_windows_2000 ? nullptr : LookUpActiveConsoleSession();
// Windows 2000 finds the session user through the shell's process instead.
const SessionApi g_session_api = g_is_windows_2000 ? SessionApi{} : SessionApi::Load();

struct WtsMemoryTraits {
  static void* Invalid() { return nullptr; }
  static bool IsValid(void* p) { return p != nullptr; }
  static void Close(void* p) { g_session_api.free_memory(p); }
};
using UniqueWtsMemory = UniqueResource<void*, WtsMemoryTraits>;

std::wstring ImageFileName(const PROCESSENTRY32W& entry) {
  return SplitAtLastBackslash(FromBuffer(entry.szExeFile, MAX_PATH)).second;
}

std::vector<BYTE> ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS info_class) {
  DWORD size = 0;
  std::vector<BYTE> buffer;
  while (!::GetTokenInformation(token, info_class, buffer.empty() ? nullptr : buffer.data(),
                                static_cast<DWORD>(buffer.size()), &size)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size()) return {};
    buffer.assign(size, 0);
  }
  return buffer;
}

std::wstring AccountNameOfSid(PSID sid) {
  DWORD name_length = 0;
  DWORD domain_length = 0;
  SID_NAME_USE use;
  ::LookupAccountSidW(nullptr, sid, nullptr, &name_length, nullptr, &domain_length, &use);
  if (name_length == 0 || domain_length == 0) return {};
  std::vector<wchar_t> name(name_length);
  std::vector<wchar_t> domain(domain_length);
  if (!::LookupAccountSidW(nullptr, sid, name.data(), &name_length, domain.data(), &domain_length,
                           &use)) {
    return {};
  }
  return FromBuffer(name.data(), name.size());
}

// The security identifier of an account known by its name; empty when unknown.
std::vector<BYTE> AccountSid(const std::wstring& name) {
  DWORD sid_size = 0;
  DWORD domain_size = 0;
  SID_NAME_USE use;
  ::LookupAccountNameW(nullptr, name.c_str(), nullptr, &sid_size, nullptr, &domain_size, &use);
  if (sid_size == 0) return {};
  std::vector<BYTE> sid(sid_size);
  std::vector<wchar_t> domain(domain_size + 1);
  if (!::LookupAccountNameW(nullptr, name.c_str(), sid.data(), &sid_size, domain.data(),
                            &domain_size, &use)) {
    return {};
  }
  return sid;
}

std::wstring QuerySessionText(DWORD session_id, WTS_INFO_CLASS info_class) {
  UniqueWtsMemory memory;
  DWORD bytes = 0;
  if (g_session_api.query == nullptr ||
      !g_session_api.query(WTS_CURRENT_SERVER_HANDLE, session_id, info_class,
                           reinterpret_cast<LPWSTR*>(memory.put()), &bytes)) {
    return {};
  }
  return FromBuffer(static_cast<const wchar_t*>(memory.get()), bytes / sizeof(wchar_t));
}

}  // namespace

std::wstring GetCurrentUserName() {
  wchar_t buffer[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!::GetUserNameW(buffer, &size)) return {};
  return FromBuffer(buffer, MAX_PATH);
}

std::wstring GetProcessUserName(DWORD process_id) {
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process_id));
  if (!process) return {};
  UniqueHandle token;
  if (!::OpenProcessToken(process.get(), TOKEN_QUERY, token.put())) return {};
  const std::vector<BYTE> user = ReadTokenInformation(token.get(), TokenUser);
  if (user.empty()) return {};
  return AccountNameOfSid(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

DWORD FindProcessByName(const std::wstring& image_name, const std::wstring& owner) {
  DWORD found = 0;
  ForEachProcess([&](const PROCESSENTRY32W& entry) {
    if (!EqualsNoCase(ImageFileName(entry), image_name)) return false;
    if (!owner.empty() && !EqualsNoCase(GetProcessUserName(entry.th32ProcessID), owner)) {
      return false;
    }
    found = entry.th32ProcessID;
    return true;
  });
  return found;
}

UniqueHandle DuplicateProcessToken(const std::wstring& image_name, const std::wstring& owner) {
  const DWORD process_id = FindProcessByName(image_name, owner);
  if (process_id == 0) return {};
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process_id));
  if (!process) return {};
  UniqueHandle token;
  if (!::OpenProcessToken(process.get(), TOKEN_DUPLICATE, token.put())) return {};
  UniqueHandle duplicate;
  if (!::DuplicateTokenEx(token.get(), MAXIMUM_ALLOWED, nullptr, SecurityIdentification,
                          TokenPrimary, duplicate.put())) {
    return {};
  }
  return duplicate;
}

DWORD GetTokenIntegrityRid(HANDLE token) {
  const std::vector<BYTE> label = ReadTokenInformation(token, TokenIntegrityLevel);
  if (label.empty()) return 0;
  PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid;
  if (sid == nullptr || !::IsValidSid(sid)) return 0;
  const UCHAR count = *::GetSidSubAuthorityCount(sid);
  return count == 0 ? 0 : *::GetSidSubAuthority(sid, count - 1);
}

DWORD ChooseSessionShell(const SessionShellFacts& facts) {
  const auto in_session = [&facts](const ShellProcess& shell, DWORD session) {
    return shell.session == session &&
           std::any_of(facts.explorer_paths.begin(), facts.explorer_paths.end(),
                       [&shell](const std::wstring& path) {
                         return !path.empty() && EqualsNoCase(shell.image_path, path);
                       });
  };
  for (const ShellProcess& shell : facts.shells) {
    if (shell.process_id == facts.shell_window_process && in_session(shell, facts.own_session)) {
      return shell.process_id;
    }
  }
  for (DWORD session : {facts.own_session, facts.console_session}) {
    for (const ShellProcess& shell : facts.shells) {
      if (in_session(shell, session)) return shell.process_id;
    }
  }
  return 0;
}

namespace {

using QueryImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, DWORD*);
using ModuleFileNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);

// The full path of a process's program: QueryFullProcessImageNameW from
// Windows Vista on, psapi's GetModuleFileNameExW before.
std::wstring ProcessImagePath(DWORD process_id) {
  static const auto query_image = LookUpFunction<QueryImageNameFn>(
      ::GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW");
  static const auto module_file =
      LookUpFunction<ModuleFileNameFn>(LoadSystemLibrary(L"psapi.dll"), "GetModuleFileNameExW");
  // PROCESS_QUERY_LIMITED_INFORMATION, which came with the function.
  constexpr DWORD kQueryLimited = 0x1000;
  const DWORD access =
      query_image != nullptr ? kQueryLimited : PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
  UniqueHandle process(::OpenProcess(access, FALSE, process_id));
  if (!process) return {};
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (query_image != nullptr) {
    return query_image(process.get(), 0, path, &size) ? FromBuffer(path, MAX_PATH) : std::wstring();
  }
  if (module_file == nullptr) return {};
  const DWORD n = module_file(process.get(), nullptr, path, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::wstring() : FromBuffer(path, MAX_PATH);
}

DWORD SessionOf(DWORD process_id) {
  DWORD session = 0;
  if (g_session_api.process_session == nullptr ||
      !g_session_api.process_session(process_id, &session)) {
    return static_cast<DWORD>(-1);  // no session matches
  }
  return session;
}

SessionShellFacts SystemSessionShellFacts() {
  SessionShellFacts facts;
  const HWND shell_window = ::GetShellWindow();
  if (shell_window != nullptr)
    ::GetWindowThreadProcessId(shell_window, &facts.shell_window_process);
  facts.own_session = SessionOf(::GetCurrentProcessId());
  facts.console_session =
      g_active_console_session != nullptr ? g_active_console_session() : static_cast<DWORD>(-1);
  // Windows has its shell in the Windows folder, Wine in the system folder;
  // only administrators can write to either.
  facts.explorer_paths = {EnsureTrailingBackslash(GetWindowsDir()) + L"explorer.exe",
                          EnsureTrailingBackslash(GetSystemDir()) + L"explorer.exe"};
  ForEachProcess([&](const PROCESSENTRY32W& entry) {
    if (EqualsNoCase(ImageFileName(entry), L"explorer.exe")) {
      facts.shells.push_back({entry.th32ProcessID, ProcessImagePath(entry.th32ProcessID),
                              SessionOf(entry.th32ProcessID)});
    }
    return false;
  });
  return facts;
}

}  // namespace

DWORD GetActiveSessionId() {
  const SessionShellFacts facts = SystemSessionShellFacts();
  const DWORD shell = ChooseSessionShell(facts);
  for (const ShellProcess& candidate : facts.shells) {
    if (candidate.process_id == shell) return candidate.session;
  }
  return g_active_console_session != nullptr ? g_active_console_session() : 0;
}

UniqueHandle DuplicateConsoleShellToken() {
  const DWORD shell = g_is_windows_2000 ? FindProcessByName(L"explorer.exe", L"")
                                        : ChooseSessionShell(SystemSessionShellFacts());
  if (shell == 0) return {};
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shell));
  UniqueHandle token;
  if (!process || !::OpenProcessToken(process.get(), TOKEN_DUPLICATE | TOKEN_QUERY, token.put())) {
    return {};
  }
  UniqueHandle duplicate;
  if (!::DuplicateTokenEx(token.get(), TOKEN_IMPERSONATE | TOKEN_QUERY | TOKEN_DUPLICATE, nullptr,
                          SecurityImpersonation, TokenImpersonation, duplicate.put())) {
    return {};
  }
  return duplicate;
}

bool UserMayWriteFolder(HANDLE token, const std::wstring& user_name, const std::wstring& folder) {
  if (!FolderExists(folder)) return false;
  PSID owner = nullptr;
  UniqueLocalMemory descriptor;
  if (::GetNamedSecurityInfoW(
          folder.c_str(), SE_FILE_OBJECT,
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
          &owner, nullptr, nullptr, nullptr,
          reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put())) != ERROR_SUCCESS) {
    return false;
  }
  std::vector<BYTE> user_sid;
  if (token != nullptr) {
    const std::vector<BYTE> user = ReadTokenInformation(token, TokenUser);
    if (!user.empty()) {
      const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
      user_sid.assign(static_cast<const BYTE*>(sid),
                      static_cast<const BYTE*>(sid) + ::GetLengthSid(sid));
    }
  } else if (!user_name.empty()) {
    user_sid = AccountSid(user_name);
  }
  if (owner != nullptr && !user_sid.empty() && ::EqualSid(owner, user_sid.data())) return true;
  if (token == nullptr) return false;
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  PRIVILEGE_SET privileges;
  DWORD privileges_size = sizeof(privileges);
  DWORD granted = 0;
  BOOL allowed = FALSE;
  return ::AccessCheck(descriptor.get(), token, FILE_ADD_FILE, &mapping, &privileges,
                       &privileges_size, &granted, &allowed) &&
         allowed;
}

ActingAsUser::ActingAsUser(HANDLE token)
    : active_(token != nullptr && ::ImpersonateLoggedOnUser(token)) {}

ActingAsUser::~ActingAsUser() {
  if (active_) ::RevertToSelf();
}

std::wstring GetSessionUserName() {
  if (g_is_windows_2000) {
    const DWORD shell = FindProcessByName(L"explorer.exe", L"");
    return shell == 0 ? std::wstring() : GetProcessUserName(shell);
  }
  std::wstring name = QuerySessionText(GetActiveSessionId(), WTSUserName);
  return EqualsNoCase(name, L"system") ? std::wstring() : name;
}

}  // namespace velmora
