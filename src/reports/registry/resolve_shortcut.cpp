#include "reports/registry/resolve_shortcut.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>

#include "common/com_ptr.h"
#include "common/errors.h"
#include "common/strings.h"
#include "environment/wow64.h"

namespace velmora {

namespace {

// The shell's own path and argument limit.
constexpr int kPartUnits = MAX_PATH;

[[noreturn]] void ThrowComFailure(const char* what, HRESULT result) {
  throw ReportError(what, static_cast<DWORD>(result));
}

std::wstring EnvironmentVariable(const std::wstring& name) {
  wchar_t value[kPartUnits] = {};
  const DWORD n = ::GetEnvironmentVariableW(name.c_str(), value, kPartUnits);
  return n == 0 || n >= kPartUnits ? std::wstring() : FromBuffer(value, kPartUnits);
}

// The name whose value the native system gives for `name`.
std::wstring NativeVariableName(const std::wstring& name, bool wow64,
                                const std::function<std::wstring(const std::wstring&)>& variable) {
  if (!wow64) return name;
  static constexpr const wchar_t* kNativeNames[][2] = {
      {L"ProgramFiles", L"ProgramW6432"}, {L"CommonProgramFiles", L"CommonProgramW6432"}};
  for (const auto& [own, native] : kNativeNames) {
    if (EqualsNoCase(name, own) && !variable(native).empty()) return native;
  }
  return name;
}

// Without SLGP_RAWPATH the shell expands the target in this process's view,
// which under WOW64 turns %ProgramFiles% into "Program Files (x86)".
std::wstring TargetOf(IShellLinkW& link) {
  wchar_t path[kPartUnits] = {};
  WIN32_FIND_DATAW find_data = {};
  if (FAILED(link.GetPath(path, kPartUnits, &find_data, SLGP_UNCPRIORITY | SLGP_RAWPATH))) {
    return {};
  }
  return ExpandAsNativeSystem(FromBuffer(path, kPartUnits), IsWow64(), EnvironmentVariable);
}

std::wstring ArgumentsOf(IShellLinkW& link) {
  wchar_t arguments[kPartUnits] = {};
  if (FAILED(link.GetArguments(arguments, kPartUnits))) return {};
  return FromBuffer(arguments, kPartUnits);
}

}  // namespace

std::wstring ExpandAsNativeSystem(
    const std::wstring& raw, bool wow64,
    const std::function<std::wstring(const std::wstring&)>& variable) {
  std::wstring expanded;
  size_t at = 0;
  while (at < raw.size()) {
    const size_t open = raw.find(L'%', at);
    const size_t close = open == std::wstring::npos ? open : raw.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    expanded += raw.substr(at, open - at);
    const std::wstring name = raw.substr(open + 1, close - open - 1);
    const std::wstring value =
        name.empty() ? std::wstring() : variable(NativeVariableName(name, wow64, variable));
    // A variable that is not set is written out as it was.
    expanded += value.empty() ? L'%' + name + L'%' : value;
    at = close + 1;
  }
  return expanded + raw.substr(std::min(at, raw.size()));
}

std::wstring ResolveShortcut(const std::wstring& path) {
  // Declared first, so that the interfaces are released before OLE ends.
  OleSession ole;
  ComPtr<IShellLinkW> link;
  HRESULT result = CreateInProcess(CLSID_ShellLink, IID_IShellLinkW, link);
  if (FAILED(result)) ThrowComFailure("cannot create the shell-link object", result);
  ComPtr<IPersistFile> file;
  result = link.QueryInto(IID_IPersistFile, file);
  if (FAILED(result)) ThrowComFailure("the shell-link object cannot load files", result);
  // A shortcut that does not load leaves the link empty: its parts read as empty.
  file->Load(path.c_str(), STGM_READ);
  return L"\"" + TargetOf(*link.get()) + L"\" " + ArgumentsOf(*link.get());
}

}  // namespace velmora
