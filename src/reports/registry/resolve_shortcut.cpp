#include "reports/registry/resolve_shortcut.h"

#include <windows.h>
#include <shlobj.h>

#include "common/com_ptr.h"
#include "common/errors.h"
#include "common/strings.h"

namespace velmora {

namespace {

// The shell's own path and argument limit.
constexpr int kPartUnits = MAX_PATH;

[[noreturn]] void ThrowComFailure(const char* what, HRESULT result) {
  throw ReportError(what, static_cast<DWORD>(result));
}

std::wstring TargetOf(IShellLinkW& link) {
  wchar_t path[kPartUnits] = {};
  WIN32_FIND_DATAW find_data = {};
  if (FAILED(link.GetPath(path, kPartUnits, &find_data, SLGP_UNCPRIORITY))) return {};
  return FromBuffer(path, kPartUnits);
}

std::wstring ArgumentsOf(IShellLinkW& link) {
  wchar_t arguments[kPartUnits] = {};
  if (FAILED(link.GetArguments(arguments, kPartUnits))) return {};
  return FromBuffer(arguments, kPartUnits);
}

}  // namespace

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
