#include "common/relative_files.h"

#include <winternl.h>

#include <algorithm>
#include <iterator>

#include "common/dynamic_function.h"
#include "common/strings.h"

namespace velmora {

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtFileInformationFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using NtQueryDirectoryFileFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK,
                                                PVOID, ULONG, ULONG, BOOLEAN, PUNICODE_STRING,
                                                BOOLEAN);

constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileCreate = 2;
constexpr ULONG kAnyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kAsItself = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT;

constexpr ULONG kFileDirectoryInformation = 1;
constexpr ULONG kFileBothDirectoryInformation = 3;
constexpr ULONG kFileBasicInformation = 4;
constexpr ULONG kFileInternalInformation = 6;
constexpr ULONG kFileDispositionInformation = 13;
constexpr ULONG kFileAttributeTagInformation = 35;
constexpr ULONG kFileIdBothDirectoryInformation = 37;
constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002);
// What a system answers for a listing class it does not know.
constexpr NTSTATUS kUnknownClassAnswers[] = {static_cast<NTSTATUS>(0xC0000003),
                                             static_cast<NTSTATUS>(0xC000000D),
                                             static_cast<NTSTATUS>(0xC00000BB)};

// The layouts the system documents for its directory listings: both begin
// with the same fields.
struct DirectoryHeader {
  ULONG next_entry;
  ULONG file_index;
  LARGE_INTEGER times[4];
  LARGE_INTEGER end_of_file;
  LARGE_INTEGER allocation_size;
  ULONG attributes;
  ULONG name_bytes;
};
struct DirectoryInformation {
  DirectoryHeader header;
  WCHAR name[1];
};
// A reparse point has no extended attributes: its listing gives the reparse
// tag where the size of those would be.
struct BothDirectoryInformation {
  DirectoryHeader header;
  ULONG ea_size;
  CCHAR short_name_bytes;
  WCHAR short_name[12];
  WCHAR name[1];
};
struct IdBothDirectoryInformation {
  DirectoryHeader header;
  ULONG ea_size;
  CCHAR short_name_bytes;
  WCHAR short_name[12];
  LARGE_INTEGER file_id;
  WCHAR name[1];
};
struct BasicInformation {
  LARGE_INTEGER times[4];
  ULONG attributes;
};
struct AttributeTagInformation {
  ULONG attributes;
  ULONG reparse_tag;
};

// Windows 2000 documents none of these on a handle, so the native calls are
// looked up; each is there from Windows 2000 on.
struct NativeCalls {
  NtCreateFileFn create_file;
  NtFileInformationFn query_information;
  NtFileInformationFn set_information;
  NtQueryDirectoryFileFn query_directory;
};

const NativeCalls& Native() {
  static const NativeCalls calls = [] {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return NativeCalls{LookUpFunction<NtCreateFileFn>(ntdll, "NtCreateFile"),
                       LookUpFunction<NtFileInformationFn>(ntdll, "NtQueryInformationFile"),
                       LookUpFunction<NtFileInformationFn>(ntdll, "NtSetInformationFile"),
                       LookUpFunction<NtQueryDirectoryFileFn>(ntdll, "NtQueryDirectoryFile")};
  }();
  return calls;
}

UNICODE_STRING CountedName(const std::wstring& name) {
  UNICODE_STRING counted;
  counted.Buffer = const_cast<PWSTR>(name.c_str());
  counted.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  counted.MaximumLength = counted.Length;
  return counted;
}

UniqueHandle CreateRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                            ULONG share, ULONG disposition, ULONG options,
                            PSECURITY_DESCRIPTOR security) {
  // A longer name, or one with a backslash, would reach past the folder.
  if (Native().create_file == nullptr || name.size() > 255 ||
      name.find(L'\\') != std::wstring::npos) {
    return {};
  }
  UNICODE_STRING counted = CountedName(name);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &counted, OBJ_CASE_INSENSITIVE, folder, security);
  IO_STATUS_BLOCK io = {};
  HANDLE handle = nullptr;
  const NTSTATUS status = Native().create_file(&handle, access | SYNCHRONIZE, &attributes, &io,
                                               nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                                               options | kAsItself, nullptr, 0);
  return UniqueHandle(NT_SUCCESS(status) ? handle : nullptr);
}

FileFacts FactsOfHandle(HANDLE handle) {
  if (Native().query_information == nullptr) return {};
  IO_STATUS_BLOCK io = {};
  AttributeTagInformation tag = {};
  if (NT_SUCCESS(Native().query_information(handle, &io, &tag, sizeof(tag),
                                            kFileAttributeTagInformation))) {
    return {tag.attributes, tag.reparse_tag};
  }
  BasicInformation basic = {};
  if (NT_SUCCESS(
          Native().query_information(handle, &io, &basic, sizeof(basic), kFileBasicInformation))) {
    return {basic.attributes, 0};
  }
  return {};
}

FileFactsReader g_facts_reader = FactsOfHandle;

// One call of the listing into `buffer`; with `mask` only that name.
NTSTATUS QueryDirectory(HANDLE folder, std::vector<LONGLONG>& buffer, ULONG information_class,
                        UNICODE_STRING* mask, bool restart) {
  if (Native().query_directory == nullptr) return kNotImplemented;
  IO_STATUS_BLOCK io = {};
  return Native().query_directory(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                                  static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)),
                                  information_class, mask != nullptr, mask, restart);
}

FolderEntryFacts EntryFacts(const BYTE* entry, ULONG information_class) {
  const auto* header = reinterpret_cast<const DirectoryHeader*>(entry);
  const WCHAR* name = reinterpret_cast<const DirectoryInformation*>(entry)->name;
  ULONG ea_size = 0;
  LONGLONG file_id = 0;
  if (information_class == kFileIdBothDirectoryInformation) {
    const auto* id_both = reinterpret_cast<const IdBothDirectoryInformation*>(entry);
    name = id_both->name;
    ea_size = id_both->ea_size;
    file_id = id_both->file_id.QuadPart;
  } else if (information_class == kFileBothDirectoryInformation) {
    const auto* both = reinterpret_cast<const BothDirectoryInformation*>(entry);
    name = both->name;
    ea_size = both->ea_size;
  }
  const bool reparse_point = (header->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return {std::wstring(name, header->name_bytes / sizeof(wchar_t)), header->attributes, file_id,
          header->end_of_file.QuadPart, reparse_point ? ea_size : 0};
}

bool IsUnknownClassAnswer(NTSTATUS status) {
  return std::find(std::begin(kUnknownClassAnswers), std::end(kUnknownClassAnswers), status) !=
         std::end(kUnknownClassAnswers);
}

// Windows 2000 lists no file numbers, and a file system may not list the
// short names: the next listing without them is read then.
template <typename Visit>
bool ForEachListed(HANDLE folder, const std::wstring* only, Visit visit) {
  // A listing of its own: the system keeps a handle's search state and mask.
  const UniqueHandle lister =
      OpenChild(folder, L"", FILE_LIST_DIRECTORY, kAnyShare, FILE_DIRECTORY_FILE);
  if (!lister) return false;
  std::vector<LONGLONG> buffer(8192);
  UNICODE_STRING mask = only != nullptr ? CountedName(*only) : UNICODE_STRING{};
  ULONG information_class = 0;
  NTSTATUS status = kNotImplemented;
  for (const ULONG candidate : {kFileIdBothDirectoryInformation, kFileBothDirectoryInformation,
                                kFileDirectoryInformation}) {
    information_class = candidate;
    status = QueryDirectory(lister.get(), buffer, information_class,
                            only != nullptr ? &mask : nullptr, true);
    if (!IsUnknownClassAnswer(status)) break;
  }
  for (; NT_SUCCESS(status) && status != kNoMoreFiles;
       status = QueryDirectory(lister.get(), buffer, information_class, nullptr, false)) {
    const BYTE* entry = reinterpret_cast<const BYTE*>(buffer.data());
    for (;;) {
      FolderEntryFacts facts = EntryFacts(entry, information_class);
      const ULONG next = reinterpret_cast<const DirectoryHeader*>(entry)->next_entry;
      if (facts.name != L"." && facts.name != L"..") visit(std::move(facts));
      if (next == 0) break;
      entry += next;
    }
    if (only != nullptr) break;
  }
  return only != nullptr || status == kNoMoreFiles;
}

}  // namespace

UniqueHandle OpenChild(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                       ULONG options) {
  return CreateRelative(folder, name, access, share, kFileOpen, options, nullptr);
}

UniqueHandle CreateChildFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                               ULONG share, PSECURITY_DESCRIPTOR security) {
  if (name.empty()) return {};
  return CreateRelative(folder, name, access, share, kFileCreate, FILE_DIRECTORY_FILE, security);
}

UniqueHandle OpenFolderAsItself(const std::wstring& path, ACCESS_MASK access, ULONG share) {
  return UniqueHandle(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
}

FileFacts ReadFileFacts(HANDLE handle) {
  return g_facts_reader(handle);
}

FileFactsReader SetFileFactsReader(FileFactsReader reader) {
  const FileFactsReader previous = g_facts_reader;
  g_facts_reader = reader != nullptr ? reader : FactsOfHandle;
  return previous;
}

LONGLONG FileIdOf(HANDLE handle) {
  if (Native().query_information == nullptr) return 0;
  IO_STATUS_BLOCK io = {};
  LARGE_INTEGER id = {};
  return NT_SUCCESS(
             Native().query_information(handle, &io, &id, sizeof(id), kFileInternalInformation))
             ? id.QuadPart
             : 0;
}

bool ListFolderEntries(HANDLE folder, std::vector<FolderEntryFacts>* entries) {
  return ForEachListed(folder, nullptr,
                       [entries](FolderEntryFacts entry) { entries->push_back(std::move(entry)); });
}

bool FindFolderEntry(HANDLE folder, const std::wstring& name, FolderEntryFacts* entry) {
  bool found = false;
  ForEachListed(folder, &name, [&](FolderEntryFacts listed) {
    // The name is a search mask to the system: only the name itself counts.
    if (!found && EqualsNoCase(listed.name, name)) {
      *entry = std::move(listed);
      found = true;
    }
  });
  return found;
}

bool MarkForDeletion(HANDLE handle) {
  if (Native().set_information == nullptr) return false;
  IO_STATUS_BLOCK io = {};
  BOOLEAN delete_file = TRUE;
  return NT_SUCCESS(Native().set_information(handle, &io, &delete_file, sizeof(delete_file),
                                             kFileDispositionInformation));
}

bool ClearReadOnly(HANDLE handle, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return true;
  if (Native().set_information == nullptr) return false;
  BasicInformation basic = {};  // times of 0 stay as they are
  basic.attributes = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (basic.attributes == 0) basic.attributes = FILE_ATTRIBUTE_NORMAL;
  IO_STATUS_BLOCK io = {};
  return NT_SUCCESS(
      Native().set_information(handle, &io, &basic, sizeof(basic), kFileBasicInformation));
}

}  // namespace velmora
