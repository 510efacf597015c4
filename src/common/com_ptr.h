// Small owners for COM: interface pointers, BSTRs, VARIANTs and the
// initialisation of COM or OLE on the calling thread. Each releases what it
// holds exactly once, on every path.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <oleauto.h>

#include <utility>

#include "common/system_class.h"

namespace velmora {

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      pointer_ = std::exchange(other.pointer_, nullptr);
    }
    return *this;
  }

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // For out-parameters: releases what is held and hands out the slot.
  Interface** put() {
    reset();
    return &pointer_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  void reset() {
    if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
  }

  // Asks the object for another of its interfaces.
  template <typename Other>
  HRESULT QueryInto(REFIID iid, ComPtr<Other>& other) const {
    if (pointer_ == nullptr) return E_POINTER;
    return pointer_->QueryInterface(iid, other.put_void());
  }

 private:
  Interface* pointer_ = nullptr;
};

// Creates an in-process COM object of the system's own (the machine's
// registration, never a user's) and asks it for one interface.
template <typename Interface>
HRESULT CreateInProcess(REFCLSID clsid, REFIID iid, ComPtr<Interface>& object) {
  return CreateMachineObject(clsid, iid, object.put_void());
}

class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(const wchar_t* text) : text_(::SysAllocString(text)) {}
  ~UniqueBstr() { ::SysFreeString(text_); }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;

  BSTR get() const { return text_; }
  // For out-parameters: frees what is held and hands out the slot.
  BSTR* put() {
    ::SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }

 private:
  BSTR text_ = nullptr;
};

class UniqueVariant {
 public:
  UniqueVariant() { ::VariantInit(&value_); }
  ~UniqueVariant() { ::VariantClear(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  const VARIANT& get() const { return value_; }
  // The platform's conversions take their source as a non-const pointer.
  VARIANT* source() { return &value_; }
  // For out-parameters: clears what is held and hands out the slot.
  VARIANT* put() {
    ::VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};

// COM or OLE on the calling thread for the owner's lifetime. A thread that is
// already an apartment of another kind keeps it and is not uninitialised by
// us: only a successful initialisation is undone.
template <HRESULT(WINAPI* Initialize)(LPVOID), void(WINAPI* Uninitialize)()>
class ScopedComInitialisation {
 public:
  ScopedComInitialisation() : result_(Initialize(nullptr)) {}
  ~ScopedComInitialisation() {
    if (SUCCEEDED(result_)) Uninitialize();
  }
  ScopedComInitialisation(const ScopedComInitialisation&) = delete;
  ScopedComInitialisation& operator=(const ScopedComInitialisation&) = delete;

 private:
  HRESULT result_;
};

// The calling thread as a single-threaded apartment.
using ComApartment = ScopedComInitialisation<::CoInitialize, ::CoUninitialize>;
// OLE (a single-threaded apartment with drag and drop and the clipboard).
using OleSession = ScopedComInitialisation<::OleInitialize, ::OleUninitialize>;

}  // namespace velmora
