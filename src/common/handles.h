// Small owners for Windows handles, keys, libraries and memory. Each closes its
// resource exactly once, on every path, and can be moved but not copied.
#pragma once

#include <windows.h>

#include <utility>

namespace velmora {

template <typename T, typename Traits>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  bool valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return valid(); }

  // For out-parameters: frees what is held and hands out the slot.
  T* put() {
    reset();
    return &value_;
  }
  T release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(T value = Traits::Invalid()) {
    if (Traits::IsValid(value_)) Traits::Close(value_);
    value_ = value;
  }

 private:
  T value_ = Traits::Invalid();
};

struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};
// Process, thread, token, file, snapshot and mapping handles.
using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>;

struct FindHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::FindClose(h); }
};
using UniqueFindHandle = UniqueResource<HANDLE, FindHandleTraits>;

struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static bool IsValid(HKEY k) { return k != nullptr; }
  static void Close(HKEY k) { ::RegCloseKey(k); }
};
using UniqueRegKey = UniqueResource<HKEY, RegKeyTraits>;

struct LibraryTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool IsValid(HMODULE m) { return m != nullptr; }
  static void Close(HMODULE m) { ::FreeLibrary(m); }
};
using UniqueLibrary = UniqueResource<HMODULE, LibraryTraits>;

struct LocalMemoryTraits {
  static void* Invalid() { return nullptr; }
  static bool IsValid(void* p) { return p != nullptr; }
  static void Close(void* p) { ::LocalFree(p); }
};
// Memory that a system call allocated with LocalAlloc for its caller.
using UniqueLocalMemory = UniqueResource<void*, LocalMemoryTraits>;

struct MappedViewTraits {
  static const void* Invalid() { return nullptr; }
  static bool IsValid(const void* p) { return p != nullptr; }
  static void Close(const void* p) { ::UnmapViewOfFile(p); }
};
using UniqueMappedView = UniqueResource<const void*, MappedViewTraits>;

struct ServiceHandleTraits {
  static SC_HANDLE Invalid() { return nullptr; }
  static bool IsValid(SC_HANDLE h) { return h != nullptr; }
  static void Close(SC_HANDLE h) { ::CloseServiceHandle(h); }
};
// Service control manager and service handles.
using UniqueServiceHandle = UniqueResource<SC_HANDLE, ServiceHandleTraits>;

struct GdiObjectTraits {
  static HGDIOBJ Invalid() { return nullptr; }
  static bool IsValid(HGDIOBJ o) { return o != nullptr; }
  static void Close(HGDIOBJ o) { ::DeleteObject(o); }
};
using UniqueGdiObject = UniqueResource<HGDIOBJ, GdiObjectTraits>;

struct WindowsHookTraits {
  static HHOOK Invalid() { return nullptr; }
  static bool IsValid(HHOOK h) { return h != nullptr; }
  static void Close(HHOOK h) { ::UnhookWindowsHookEx(h); }
};
using UniqueWindowsHook = UniqueResource<HHOOK, WindowsHookTraits>;

struct MemoryDcTraits {
  static HDC Invalid() { return nullptr; }
  static bool IsValid(HDC dc) { return dc != nullptr; }
  static void Close(HDC dc) { ::DeleteDC(dc); }
};
// Device contexts made with CreateCompatibleDC or CreateDC.
using UniqueMemoryDc = UniqueResource<HDC, MemoryDcTraits>;

// Restores the previous object of a device context when it goes out of scope.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectedObject() { ::SelectObject(dc_, previous_); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace velmora
