#include "crash/native_files.h"

#include <winternl.h>

#include <cstring>

#include "common/dynamic_function.h"

namespace velmora::crash {

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using DosPathToNtPathFn = BOOLEAN(NTAPI*)(PCWSTR, PUNICODE_STRING, PCWSTR*, PVOID);
using FreeUnicodeStringFn = VOID(NTAPI*)(PUNICODE_STRING);

constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileDispositionInformation = 13;
constexpr ULONG kOpenExisting = 1;  // FILE_OPEN
constexpr ULONG kCreateNew = 2;     // FILE_CREATE
constexpr ULONG kAnyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Synchronous handles that name the object itself, never a link's target.
constexpr ULONG kOpenAsItself = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT;

// Plain pointers, never released: a fault while the program ends uses them.
struct NativeFunctions {
  NtCreateFileFn create_file;
  NtSetInformationFileFn set_information;
  DosPathToNtPathFn to_nt_path;
  FreeUnicodeStringFn free_string;
};
NativeFunctions g_native = {};

// The layout of FILE_RENAME_INFORMATION: the new name follows the header.
struct RenameInformation {
  BOOLEAN replace_if_exists;
  HANDLE root_directory;
  ULONG name_bytes;
  WCHAR name[1];
};

UniqueHandle Open(const NativePath& path, ACCESS_MASK access, ULONG disposition, ULONG share,
                  ULONG options) {
  if (g_native.create_file == nullptr || !path.valid()) return {};
  const std::wstring& text = path.text();
  UNICODE_STRING name;
  name.Buffer = const_cast<PWSTR>(text.c_str());
  name.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  name.MaximumLength = name.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  IO_STATUS_BLOCK io = {};
  HANDLE handle = nullptr;
  const NTSTATUS status =
      g_native.create_file(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                           FILE_ATTRIBUTE_NORMAL, share, disposition, options, nullptr, 0);
  return UniqueHandle(NT_SUCCESS(status) ? handle : nullptr);
}

}  // namespace

bool LoadNativeFileFunctions() {
  if (g_native.create_file != nullptr) return true;
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  g_native.create_file = LookUpFunction<NtCreateFileFn>(ntdll, "NtCreateFile");
  g_native.set_information = LookUpFunction<NtSetInformationFileFn>(ntdll, "NtSetInformationFile");
  g_native.to_nt_path = LookUpFunction<DosPathToNtPathFn>(ntdll, "RtlDosPathNameToNtPathName_U");
  g_native.free_string = LookUpFunction<FreeUnicodeStringFn>(ntdll, "RtlFreeUnicodeString");
  return g_native.create_file && g_native.set_information && g_native.to_nt_path &&
         g_native.free_string;
}

NativePath::NativePath(const std::wstring& path) {
  LoadNativeFileFunctions();
  UNICODE_STRING converted = {};
  if (g_native.to_nt_path == nullptr || g_native.free_string == nullptr ||
      !g_native.to_nt_path(path.c_str(), &converted, nullptr, nullptr)) {
    return;
  }
  text_.assign(converted.Buffer, converted.Length / sizeof(wchar_t));
  g_native.free_string(&converted);
}

RenameTarget::RenameTarget(const NativePath& target) {
  if (!target.valid()) return;
  const std::wstring& name = target.text();
  const size_t name_bytes = name.size() * sizeof(wchar_t);
  bytes_.assign(sizeof(RenameInformation) + name_bytes, 0);
  auto* information = reinterpret_cast<RenameInformation*>(bytes_.data());
  information->replace_if_exists = TRUE;
  information->name_bytes = static_cast<ULONG>(name_bytes);
  std::memcpy(information->name, name.data(), name_bytes);
}

UniqueHandle OpenFileToRead(const NativePath& path) {
  return Open(path, FILE_READ_DATA | FILE_READ_ATTRIBUTES, kOpenExisting, kAnyShare,
              kOpenAsItself | FILE_NON_DIRECTORY_FILE);
}

UniqueHandle OpenToDelete(const NativePath& path) {
  return Open(path, DELETE | FILE_READ_ATTRIBUTES, kOpenExisting, kAnyShare, kOpenAsItself);
}

UniqueHandle CreateNewFile(const NativePath& path) {
  return Open(path, FILE_WRITE_DATA | FILE_READ_ATTRIBUTES | DELETE, kCreateNew, FILE_SHARE_READ,
              kOpenAsItself | FILE_NON_DIRECTORY_FILE);
}

bool RenameOpenFile(HANDLE file, const RenameTarget& target) {
  if (g_native.set_information == nullptr || target.size() == 0) return false;
  IO_STATUS_BLOCK io = {};
  return NT_SUCCESS(g_native.set_information(file, &io, const_cast<void*>(target.data()),
                                             target.size(), kFileRenameInformation));
}

bool DeleteOpenFile(HANDLE file) {
  if (g_native.set_information == nullptr) return false;
  IO_STATUS_BLOCK io = {};
  BOOLEAN delete_file = TRUE;
  return NT_SUCCESS(g_native.set_information(file, &io, &delete_file, sizeof(delete_file),
                                             kFileDispositionInformation));
}

}  // namespace velmora::crash
