#include "common/system_class.h"

#include <objbase.h>

#include <vector>

#include "common/dynamic_function.h"
#include "common/handles.h"
#include "common/strings.h"
#include "common/system_library.h"

namespace velmora {

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

std::wstring WindowsFolder() {
  wchar_t buffer[MAX_PATH] = {};
  const UINT n = ::GetSystemWindowsDirectoryW(buffer, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::wstring() : FromBuffer(buffer, MAX_PATH);
}

std::wstring ClassKey(REFCLSID clsid) {
  wchar_t id[40] = {};
  ::StringFromGUID2(clsid, id, 40);
  return std::wstring(L"Software\\Classes\\CLSID\\") + id;
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
  UniqueRegKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) == ERROR_SUCCESS;
}

bool KeyExistsInAView(HKEY root, const std::wstring& path, REGSAM other_view) {
  return KeyExists(root, path, 0) || (other_view != 0 && KeyExists(root, path, other_view));
}

std::wstring RegisteredServer(REFCLSID clsid) {
  const std::wstring key = ClassKey(clsid) + L"\\InprocServer32";
  UniqueRegKey server;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, server.put()) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::vector<wchar_t> value(MAX_PATH + 1, L'\0');
  DWORD type = 0;
  DWORD bytes = MAX_PATH * sizeof(wchar_t);
  const LONG status = ::RegQueryValueExW(server.get(), nullptr, nullptr, &type,
                                         reinterpret_cast<BYTE*>(value.data()), &bytes);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  return FromBuffer(value.data(), value.size());
}

// Asks a loaded server for its class's object; a server without the entry
// point, or none at all, gives `no_server`.
HRESULT CreateServerObject(HMODULE server, REFCLSID clsid, REFIID iid, HRESULT no_server,
                           void** object) {
  const auto get_class_object = LookUpFunction<GetClassObjectFn>(server, "DllGetClassObject");
  if (get_class_object == nullptr) return no_server;
  IClassFactory* factory = nullptr;
  HRESULT result = get_class_object(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(result) || factory == nullptr) return FAILED(result) ? result : E_NOINTERFACE;
  result = factory->CreateInstance(nullptr, iid, object);
  factory->Release();
  return result;
}

}  // namespace

std::wstring MachineServerPath(const std::wstring& value, const std::wstring& windows_dir) {
  std::wstring path = value;
  if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
    path = path.substr(1, path.size() - 2);
  }
  if (windows_dir.empty()) return {};
  path = ReplaceAllNoCase(path, L"%SystemRoot%", windows_dir);
  path = ReplaceAllNoCase(path, L"%windir%", windows_dir);
  const bool absolute = path.size() > 3 && path[1] == L':' && path[2] == L'\\' &&
                        path.find(L'%') == std::wstring::npos;
  return absolute ? path : std::wstring();
}

HRESULT CreateMachineObject(REFCLSID clsid, REFIID iid, void** object) {
  *object = nullptr;
  // As CoCreateInstance would: no object for a thread outside any apartment.
  IUnknown* context = nullptr;
  const HRESULT apartment = ::CoGetObjectContext(IID_IUnknown, reinterpret_cast<void**>(&context));
  if (FAILED(apartment)) return apartment;
  context->Release();
  const std::wstring path = MachineServerPath(RegisteredServer(clsid), WindowsFolder());
  if (path.empty()) return REGDB_E_CLASSNOTREG;
  // Stays loaded for the process: objects of it may live until the end.
  return CreateServerObject(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH),
                            clsid, iid, CO_E_DLLNOTFOUND, object);
}

HRESULT CreateSystemLibraryObject(const wchar_t* library, REFCLSID clsid, REFIID iid,
                                  void** object) {
  *object = nullptr;
  return CreateServerObject(LoadSystemLibrary(library), clsid, iid, REGDB_E_CLASSNOTREG, object);
}

HRESULT CreateMachineLocalObject(REFCLSID clsid, REFIID iid, REGSAM other_view, void** object) {
  *object = nullptr;
  const std::wstring key = ClassKey(clsid);
  if (KeyExistsInAView(HKEY_CURRENT_USER, key, other_view)) return kClassRegisteredForUser;
  if (!KeyExistsInAView(HKEY_LOCAL_MACHINE, key, other_view)) return REGDB_E_CLASSNOTREG;
  return ::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, iid, object);
}

}  // namespace velmora
