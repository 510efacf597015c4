// Creating the system's own in-process COM objects. An elevated process may
// be handed a class that the user registered under HKCU\Software\Classes
// (which shadows the machine's registration in the merged view that
// CoCreateInstance reads, on some Windows versions): the server is taken
// from the machine's registration only, which only administrators can
// change, loaded by its full path and asked for the class directly.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// The full path of a machine-registered server from its InprocServer32
// value: %SystemRoot% and %windir% stand for the Windows folder, and nothing
// else of the environment (which the user may shape) is used. Empty when the
// value is no absolute path after that.
std::wstring MachineServerPath(const std::wstring& value, const std::wstring& windows_dir);

// Creates the object of `clsid` from the server that the machine registers
// for it and asks it for `iid`.
HRESULT CreateMachineObject(REFCLSID clsid, REFIID iid, void** object);

// Creates the object of `clsid` from the system folder's `library` itself
// (a server that Windows alone provides), without any registration.
HRESULT CreateSystemLibraryObject(const wchar_t* library, REFCLSID clsid, REFIID iid,
                                  void** object);

// Refused: the user's own classes register the class, and COM would read
// that registration before the machine's.
inline constexpr HRESULT kClassRegisteredForUser =
    MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0201);

// Creates the object of `clsid` from the server that runs as a Windows
// service or program for it (CoCreateInstance, out of process), but only
// where the machine registers the class and the user's classes do not.
// `other_view` is KEY_WOW64_64KEY for a 32-bit program on 64-bit Windows (the
// other registry view is looked at too), else 0.
HRESULT CreateMachineLocalObject(REFCLSID clsid, REFIID iid, REGSAM other_view, void** object);

}  // namespace velmora
