#include "environment/desktop_shell.h"

#include <windows.h>
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

#include "common/com_ptr.h"
#include "common/strings.h"
#include "environment/folders.h"

namespace velmora {

namespace {

// Explorer's shell application object, as the desktop window's view gives it.
ComPtr<IShellDispatch2> DesktopShellApplication() {
  ComPtr<IShellWindows> windows;
  if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.put_void()))) {
    return {};
  }
  UniqueVariant location;
  UniqueVariant root;
  long window = 0;
  ComPtr<IDispatch> desktop;
  if (windows->FindWindowSW(location.source(), root.source(), SWC_DESKTOP, &window,
                            SWFO_NEEDDISPATCH, desktop.put()) != S_OK ||
      !desktop) {
    return {};
  }
  ComPtr<IServiceProvider> services;
  ComPtr<IShellBrowser> browser;
  ComPtr<IShellView> view;
  ComPtr<IDispatch> background;
  ComPtr<IShellFolderViewDual> folder_view;
  ComPtr<IDispatch> application;
  ComPtr<IShellDispatch2> shell;
  if (FAILED(desktop.QueryInto(IID_IServiceProvider, services)) ||
      FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void())) ||
      FAILED(browser->QueryActiveShellView(view.put())) ||
      FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void())) ||
      FAILED(background.QueryInto(IID_IShellFolderViewDual, folder_view)) ||
      FAILED(folder_view->get_Application(application.put())) ||
      FAILED(application.QueryInto(IID_IShellDispatch2, shell))) {
    return {};
  }
  return shell;
}

void SetText(UniqueVariant& variant, const std::wstring& text) {
  VARIANT* slot = variant.put();
  slot->vt = VT_BSTR;
  slot->bstrVal = ::SysAllocString(text.c_str());
}

}  // namespace

bool OpenThroughDesktopShell(const ShellRequest& request) {
  const ComPtr<IShellDispatch2> shell = DesktopShellApplication();
  if (!shell) return false;
  const UniqueBstr file(request.file.c_str());
  UniqueVariant parameters, folder, verb, show;
  SetText(parameters, request.parameters);
  SetText(verb, L"open");
  VARIANT* show_value = show.put();
  show_value->vt = VT_I4;
  show_value->lVal = request.show;
  return SUCCEEDED(
      shell->ShellExecute(file.get(), parameters.get(), folder.get(), verb.get(), show.get()));
}

bool OpenAsDesktopUser(const ShellRequest& request, const ShellOpeners& openers) {
  return openers.through_desktop(request);
}

ShellRequest ExplorerSelecting(const std::wstring& path) {
  return {EnsureTrailingBackslash(GetWindowsDir()) + L"explorer.exe", L"/select,\"" + path + L"\"",
          SW_SHOW};
}

}  // namespace velmora
