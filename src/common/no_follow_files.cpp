#include "common/no_follow_files.h"

#include <algorithm>

#include "common/dynamic_function.h"
#include "common/file_pieces.h"
#include "common/relative_files.h"
#include "common/strings.h"
#include "common/tree_removal.h"

namespace velmora {

namespace {

constexpr DWORD kAnyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The link itself, and folders as well as files.
constexpr DWORD kOpenLinkItself = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

struct IoStatusBlock {
  union {
    LONG status;
    void* pointer;
  };
  ULONG_PTR information;
};

DWORD AttributesOf(const std::wstring& path) {
  return ::GetFileAttributesW(ExtendedLengthPath(path).c_str());
}

bool HasLinkAttribute(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

struct FileBasicInformation {
  LARGE_INTEGER creation_time;
  LARGE_INTEGER last_access_time;
  LARGE_INTEGER last_write_time;
  LARGE_INTEGER change_time;
  ULONG attributes;
};
constexpr int kFileBasicInformation = 4;
using QueryInformationFileFn = LONG(WINAPI*)(HANDLE, IoStatusBlock*, void*, ULONG, int);

// Asked of every file that is read, so through the native call that gives the
// attributes alone: the documented one also asks the volume for its serial
// number, which costs more than opening and reading a small file (Wine asks
// its mount manager in another process each time).
DWORD HandleAttributes(HANDLE handle) {
  static const auto query_information = LookUpFunction<QueryInformationFileFn>(
      ::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile");
  if (query_information != nullptr) {
    IoStatusBlock io = {};
    FileBasicInformation basic = {};
    return query_information(handle, &io, &basic, sizeof(basic), kFileBasicInformation) >= 0
               ? basic.attributes
               : INVALID_FILE_ATTRIBUTES;
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  return ::GetFileInformationByHandle(handle, &info) ? info.dwFileAttributes
                                                     : INVALID_FILE_ATTRIBUTES;
}

HandleAttributesReader g_plain_file_attributes = HandleAttributes;

struct FileAttributeTagInformation {
  ULONG attributes;
  ULONG reparse_tag;
};
constexpr int kFileAttributeTagInformation = 35;

DWORD HandleReparseTag(HANDLE handle) {
  static const auto query_information = LookUpFunction<QueryInformationFileFn>(
      ::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile");
  if (query_information == nullptr) return 0;
  IoStatusBlock io = {};
  FileAttributeTagInformation tag = {};
  return query_information(handle, &io, &tag, sizeof(tag), kFileAttributeTagInformation) >= 0
             ? tag.reparse_tag
             : 0;
}

ReparseTagReader g_reparse_tag = HandleReparseTag;

constexpr DWORD kNameSurrogateBit = 0x20000000;

// Whether a file opened as itself may be read: a plain file, or a reparse
// point that is no link, which is opened again through `open_following` (the
// system then gives its data, not the stored reparse data) and kept only when
// that handle names the very same file.
template <typename OpenFollowing>
UniqueHandle CheckedPlainFile(UniqueHandle itself, OpenFollowing open_following) {
  if (!itself) return {};
  // Asked of the opened handle: the name may have changed since it was looked at.
  const DWORD attributes = g_plain_file_attributes(itself.get());
  if (attributes == INVALID_FILE_ATTRIBUTES || attributes & FILE_ATTRIBUTE_DIRECTORY) return {};
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return itself;
  if (IsNameSurrogateTag(g_reparse_tag(itself.get()))) return {};
  UniqueHandle followed = open_following();
  if (!followed || !IsSameFile(itself.get(), followed.get()) ||
      HandleAttributes(followed.get()) & FILE_ATTRIBUTE_DIRECTORY) {
    return {};
  }
  return followed;
}

// The native call's own forms, which winternl.h would also give, spelled out
// here so that this file's names do not meet that header's.
struct NativeName {
  USHORT length;
  USHORT maximum_length;
  PWSTR buffer;
};
struct NativeObjectAttributes {
  ULONG length;
  HANDLE root_directory;
  NativeName* object_name;
  ULONG attributes;
  void* security_descriptor;
  void* security_quality_of_service;
};
using CreateFileFn = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, NativeObjectAttributes*, IoStatusBlock*,
                                   LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);
constexpr ULONG kObjectCaseInsensitive = 0x40;
constexpr ULONG kNativeOpenExisting = 1;  // FILE_OPEN
constexpr ULONG kNativeDirectoryFile = 0x1;
constexpr ULONG kNativeSequentialOnly = 0x4;
constexpr ULONG kNativeSynchronousIo = 0x20;  // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kNativeNonDirectoryFile = 0x40;
constexpr ULONG kNativeBackupIntent = 0x4000;
constexpr ULONG kNativeOpenReparsePoint = 0x200000;
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
// A held folder cannot be renamed or deleted: no delete sharing.
constexpr DWORD kHeldFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// One name directly in `folder`, opened relative to the folder's handle: no
// path is looked up again, so nothing that happens to the folder's name or
// to the folders above it changes what is opened.
UniqueHandle OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                          ULONG options) {
  static const auto create_file =
      LookUpFunction<CreateFileFn>(::GetModuleHandleW(L"ntdll.dll"), "NtCreateFile");
  if (create_file == nullptr || folder == nullptr || name.empty() || name == L"." ||
      name == L".." || name.find_first_of(L"\\/") != std::wstring::npos) {
    return {};
  }
  NativeName text = {static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                     static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                     const_cast<PWSTR>(name.c_str())};
  NativeObjectAttributes attributes = {sizeof(attributes),     folder,  &text,
                                       kObjectCaseInsensitive, nullptr, nullptr};
  IoStatusBlock io = {};
  HANDLE handle = nullptr;
  const LONG status =
      create_file(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, share,
                  kNativeOpenExisting, options | kNativeSynchronousIo, nullptr, 0);
  return UniqueHandle(status >= 0 ? handle : nullptr);
}

// A folder's handle that names a real folder: a directory, and no link.
bool IsRealFolderHandle(HANDLE folder) {
  const DWORD own = HandleAttributes(folder);
  return own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_DIRECTORY) &&
         (!(own & FILE_ATTRIBUTE_REPARSE_POINT) || !IsNameSurrogateTag(HandleReparseTag(folder)));
}

// What a copy keeps of its source's attributes, as the system's own copy does.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr size_t kCopyPieceSize = 1 << 20;

// Removes a plain file or a link to a file; read-only files too.
bool DeletePlainFile(const std::wstring& path, DWORD attributes) {
  const std::wstring extended = ExtendedLengthPath(path);
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    ::SetFileAttributesW(extended.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  return ::DeleteFileW(extended.c_str()) != FALSE;
}

// What a failed copy left at its destination: never a link or a folder.
void RemoveFailedCopy(const std::wstring& destination) {
  const DWORD attributes = AttributesOf(destination);
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !HasLinkAttribute(attributes)) {
    DeletePlainFile(destination, attributes);
  }
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
  // Below this length every Windows takes the plain form; "\\?\" would also
  // switch off the normalisation that relative paths need.
  if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0) return path;
  if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

bool IsSameFile(HANDLE first, HANDLE second) {
  BY_HANDLE_FILE_INFORMATION one, other;
  return ::GetFileInformationByHandle(first, &one) &&
         ::GetFileInformationByHandle(second, &other) &&
         (one.nFileIndexHigh != 0 || one.nFileIndexLow != 0) &&
         one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

bool IsLinkPath(const std::wstring& path) {
  return HasLinkAttribute(AttributesOf(path));
}

bool IsRealFolder(const std::wstring& path) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      HasLinkAttribute(attributes)) {
    return false;
  }
  UniqueHandle folder(::CreateFileW(ExtendedLengthPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                    kAnyShare, nullptr, OPEN_EXISTING, kOpenLinkItself, nullptr));
  const DWORD own = folder ? HandleAttributes(folder.get()) : INVALID_FILE_ATTRIBUTES;
  return own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_DIRECTORY) &&
         !HasLinkAttribute(own);
}

bool RemoveLinkItself(const std::wstring& path) {
  {
    UniqueHandle link(::CreateFileW(ExtendedLengthPath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                    kAnyShare, nullptr, OPEN_EXISTING, kOpenLinkItself, nullptr));
    if (!link || !HasLinkAttribute(HandleAttributes(link.get()))) return false;
    if (!MarkForDeletion(link.get())) return false;
  }  // the link goes when its handle closes
  return AttributesOf(path) == INVALID_FILE_ATTRIBUTES;
}

bool RemoveTreeNoFollow(const std::wstring& folder) {
  const std::wstring path = WithoutTrailingBackslash(folder);
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (HasLinkAttribute(attributes)) return RemoveLinkItself(path);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  {
    const UniqueHandle root =
        OpenFolderAsItself(ExtendedLengthPath(path), kRemoveTreeAccess, kRemoveTreeShare);
    if (!root) return false;
    const FileFacts facts = ReadFileFacts(root.get());
    if (facts.link()) {
      MarkForDeletion(root.get());
    } else if (facts.folder() && !IsLinkPath(path)) {
      // Asked of the name once more after the open, for a system that
      // resolved a link swapped in since (the handle then shows the target).
      RemoveTreeByHandle(root.get());
    }
  }  // what was marked goes when the handle closes
  return AttributesOf(path) == INVALID_FILE_ATTRIBUTES;
}

bool IsRealFolderBelow(const std::wstring& root, const std::wstring& folder) {
  const std::wstring base = WithoutTrailingBackslash(root);
  const std::wstring target = WithoutTrailingBackslash(folder);
  if (base.empty() || !StartsWithNoCase(target, base)) return false;
  if (target.size() == base.size()) return IsRealFolder(target);
  if (target[base.size()] != L'\\') return false;
  // Every folder on the way down, so that a link higher up cannot lead
  // somewhere else with real folders below it.
  size_t start = base.size() + 1;
  for (;;) {
    const size_t end = target.find(L'\\', start);
    const std::wstring name = target.substr(start, end == std::wstring::npos ? end : end - start);
    if (name.empty() || name == L"." || name == L"..") return false;
    if (!IsRealFolder(target.substr(0, end))) return false;
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

bool IsPlainFile(const std::wstring& path) {
  return OpenPlainFile(path, kAnyShare).valid();
}

UniqueHandle OpenPlainFile(const std::wstring& path, DWORD share, DWORD flags) {
  const std::wstring extended = ExtendedLengthPath(path);
  const auto open = [&](DWORD link_flag) {
    return UniqueHandle(::CreateFileW(extended.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                      flags | link_flag, nullptr));
  };
  return CheckedPlainFile(open(FILE_FLAG_OPEN_REPARSE_POINT), [&] { return open(0); });
}

HandleAttributesReader SetHandleAttributesReader(HandleAttributesReader reader) {
  const HandleAttributesReader previous = g_plain_file_attributes;
  g_plain_file_attributes = reader != nullptr ? reader : HandleAttributes;
  return previous;
}

bool MakeRealFolderBelow(const std::wstring& root, const std::wstring& folder) {
  const std::wstring base = WithoutTrailingBackslash(root);
  const std::wstring target = WithoutTrailingBackslash(folder);
  if (!StartsWithNoCase(target, base + L"\\")) return false;
  std::wstring path = base;
  size_t start = base.size() + 1;
  while (start <= target.size()) {
    const size_t end = std::min(target.find(L'\\', start), target.size());
    path = target.substr(0, end);
    if (IsLinkPath(path) && !RemoveLinkItself(path)) return false;
    if (AttributesOf(path) == INVALID_FILE_ATTRIBUTES) {
      ::CreateDirectoryW(ExtendedLengthPath(path).c_str(), nullptr);
    }
    if (!IsRealFolder(path)) return false;
    start = end + 1;
  }
  return true;
}

UniqueHandle CreateFreshFile(const std::wstring& path) {
  const std::wstring extended = ExtendedLengthPath(path);
  const DWORD attributes = AttributesOf(path);
  if (HasLinkAttribute(attributes)) {
    if (!RemoveLinkItself(path)) return {};
  } else if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeletePlainFile(path, attributes);
  }
  // Fails when anything is still, or again, in the way: nothing is followed.
  return UniqueHandle(::CreateFileW(extended.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool CopyFileNoFollow(const std::wstring& source, const std::wstring& destination, bool overwrite) {
  const UniqueHandle from =
      OpenPlainFile(source, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_SEQUENTIAL_SCAN);
  return from && CopyOpenFileNoFollow(from.get(), destination, overwrite);
}

bool CopyOpenFileNoFollow(HANDLE from, const std::wstring& destination, bool overwrite) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(from, &info)) return false;
  // A second name may be another account's file linked into the product's
  // folder by the user: its content is not the product's to hand out.
  if (info.nNumberOfLinks > 1) return false;
  const DWORD attributes = AttributesOf(destination);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (!overwrite || (attributes & FILE_ATTRIBUTE_DIRECTORY && !HasLinkAttribute(attributes))) {
      return false;
    }
    const bool removed = HasLinkAttribute(attributes) ? RemoveLinkItself(destination)
                                                      : DeletePlainFile(destination, attributes);
    if (!removed) return false;
  }
  // Refuses to write over anything that appeared in the meantime.
  UniqueHandle to(::CreateFileW(ExtendedLengthPath(destination).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, info.dwFileAttributes & kCopiedAttributes, nullptr));
  if (!to) return false;
  // The file is read up to the size it had when the copy began: a log that
  // grows meanwhile still copies that much, and one that cannot be read to
  // that end leaves no piece that would pass for the whole file.
  const bool copied =
      ReadFileInPieces(from, kCopyPieceSize,
                       [&to](const unsigned char* data, size_t size) {
                         DWORD written = 0;
                         return ::WriteFile(to.get(), data, static_cast<DWORD>(size), &written,
                                            nullptr) &&
                                written == size;
                       }) &&
      ::SetFileTime(to.get(), nullptr, nullptr, &info.ftLastWriteTime);
  to.reset();
  if (!copied) RemoveFailedCopy(destination);
  return copied;
}

bool IsNameSurrogateTag(DWORD tag) {
  return tag == 0 || (tag & kNameSurrogateBit) != 0;
}

bool IsLinkEntry(const WIN32_FIND_DATAW& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         IsNameSurrogateTag(entry.dwReserved0);
}

ReparseTagReader SetReparseTagReader(ReparseTagReader reader) {
  const ReparseTagReader previous = g_reparse_tag;
  g_reparse_tag = reader != nullptr ? reader : HandleReparseTag;
  return previous;
}

UniqueHandle OpenRealFolderHandle(const std::wstring& path) {
  UniqueHandle folder(::CreateFileW(ExtendedLengthPath(WithoutTrailingBackslash(path)).c_str(),
                                    kFolderAccess, kHeldFolderShare, nullptr, OPEN_EXISTING,
                                    kOpenLinkItself, nullptr));
  return folder && IsRealFolderHandle(folder.get()) ? std::move(folder) : UniqueHandle();
}

UniqueHandle OpenHeldFolder(const std::wstring& path) {
  return UniqueHandle(::CreateFileW(ExtendedLengthPath(WithoutTrailingBackslash(path)).c_str(),
                                    kFolderAccess, kHeldFolderShare, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool IsLinkListed(const FolderEntryFacts& entry) {
  return (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsNameSurrogateTag(entry.reparse_tag);
}

UniqueHandle OpenListedFolderIn(HANDLE folder, const FolderEntryFacts& entry) {
  if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || IsLinkListed(entry)) return {};
  UniqueHandle subfolder =
      OpenRelative(folder, entry.name, kFolderAccess, kHeldFolderShare,
                   kNativeDirectoryFile | kNativeBackupIntent | kNativeOpenReparsePoint);
  if (!subfolder || !IsRealFolderHandle(subfolder.get())) return {};
  const LONGLONG id = FileIdOf(subfolder.get());
  // A system that gives no numbers leaves the check to the handle's own facts.
  return entry.file_id == 0 || id == 0 || entry.file_id == id ? std::move(subfolder)
                                                              : UniqueHandle();
}

namespace {

// One level down from an open folder. The folder's own entry is asked too: a
// system that resolves links on open (as Wine does) hands out the target's
// handle with the target's attributes, while the entry still shows the link.
UniqueHandle OpenRealFolderIn(HANDLE folder, const std::wstring& name) {
  FolderEntryFacts entry;
  return FindFolderEntry(folder, name, &entry) ? OpenListedFolderIn(folder, entry) : UniqueHandle();
}

}  // namespace

UniqueHandle OpenRealFolderHandleBelow(const std::wstring& root, const std::wstring& folder) {
  const std::wstring base = WithoutTrailingBackslash(root);
  const std::wstring target = WithoutTrailingBackslash(folder);
  if (base.empty() || !StartsWithNoCase(target, base)) return {};
  if (target.size() == base.size()) return OpenRealFolderHandle(target);
  if (target[base.size()] != L'\\') return {};
  // The root is trusted as it is, link or not.
  UniqueHandle current = OpenHeldFolder(base);
  size_t start = base.size() + 1;
  while (current && start <= target.size()) {
    const size_t end = std::min(target.find(L'\\', start), target.size());
    current = OpenRealFolderIn(current.get(), target.substr(start, end - start));
    start = end + 1;
  }
  return current;
}

UniqueHandle OpenPlainFileIn(HANDLE folder, const std::wstring& name, DWORD share, DWORD flags) {
  const ULONG options =
      kNativeNonDirectoryFile | (flags & FILE_FLAG_SEQUENTIAL_SCAN ? kNativeSequentialOnly : 0);
  const auto open = [&](ULONG link_option) {
    return OpenRelative(folder, name, FILE_GENERIC_READ, share, options | link_option);
  };
  return CheckedPlainFile(open(kNativeOpenReparsePoint), [&] { return open(0); });
}

}  // namespace velmora
