#include "app/working_folder.h"

#include <windows.h>
#include <sddl.h>

#include <optional>

#include "common/errors.h"
#include "common/no_follow_files.h"
#include "common/relative_files.h"
#include "common/strings.h"
#include "common/tree_removal.h"

namespace velmora {

namespace {

constexpr wchar_t kWorkingFolderName[] = L"GetInfoDir";
// New names tried beside a stale folder that cannot be removed.
constexpr int kUniqueNameTries = 8;
// Everything the run does in the folder but deleting it: a handle with
// delete access would make every other open of the folder that does not
// share deleting fail (the system's own folder search among them).
constexpr ACCESS_MASK kHoldAccess = (kRemoveTreeAccess & ~DELETE) | FILE_ADD_FILE |
                                    FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE | READ_CONTROL;

bool RunsAsAdministrator() {
  UniqueLocalMemory administrators;
  if (!::ConvertStringSidToSidW(L"S-1-5-32-544", reinterpret_cast<PSID*>(administrators.put()))) {
    return false;
  }
  BOOL member = FALSE;
  return ::CheckTokenMembership(nullptr, administrators.get(), &member) && member;
}

// Under UAC the elevated program shares the temporary folder with the user's
// unelevated programs, and a folder made there would inherit the user's
// rights. One that only administrators and the system can enter keeps those
// programs from planting files or links in it, and from renaming or replacing
// it, all in one. Unelevated (Windows 2000 and XP users without the rights)
// the folder gets the inherited rights: the user then owns it anyway.
UniqueLocalMemory PrivateFolderSecurity() {
  UniqueLocalMemory descriptor;
  if (RunsAsAdministrator()) {
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", SDDL_REVISION_1,
        reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr);
  }
  return descriptor;
}

// Creates the parents of `folder` that are missing.
void CreateParents(const std::wstring& folder) {
  const std::wstring parent = SplitAtLastBackslash(folder).first;
  if (parent.empty() || parent == folder ||
      ::GetFileAttributesW(parent.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return;
  }
  CreateParents(parent);
  ::CreateDirectoryW(parent.c_str(), nullptr);
}

// The folder the working folder goes into, through any link at its own name
// (a temporary folder may well be one): what counts is that the working
// folder is made new inside it by this run.
UniqueHandle OpenBase(const std::wstring& base) {
  return UniqueHandle(::CreateFileW(ExtendedLengthPath(base).c_str(),
                                    FILE_LIST_DIRECTORY | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// A name no earlier run used: the process and the moment in it.
std::wstring UniqueName(int attempt) {
  LARGE_INTEGER counter = {};
  ::QueryPerformanceCounter(&counter);
  return Format(L"%ls-%lX-%lX", kWorkingFolderName, ::GetCurrentProcessId(),
                static_cast<DWORD>(counter.QuadPart) + static_cast<DWORD>(attempt));
}

// A new folder of the run's own in `base` (with trailing backslash): "GetInfoDir" once a stale one
// of that name is gone, a unique name beside it when it cannot be removed. The handle that creates
// the folder is the one that holds it, so there is no moment at which it exists unheld.
std::optional<WorkingFolder> MakeOwnFolderIn(const std::wstring& base) {
  const UniqueHandle parent = OpenBase(base);
  if (!parent) return std::nullopt;
  const UniqueLocalMemory security = PrivateFolderSecurity();
  RemoveChildTree(parent.get(), kWorkingFolderName);
  for (int attempt = 0; attempt <= kUniqueNameTries; ++attempt) {
    const std::wstring name = attempt == 0 ? kWorkingFolderName : UniqueName(attempt);
    if (UniqueHandle hold = CreateChildFolder(parent.get(), name, kHoldAccess,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, security.get())) {
      return WorkingFolder(base + name + L"\\", std::move(hold));
    }
  }
  return std::nullopt;
}

}  // namespace

bool WorkingFolder::PathLeadsToHeldFolder() const {
  if (!hold_) return false;
  const UniqueHandle named =
      OpenFolderAsItself(ExtendedLengthPath(WithoutTrailingBackslash(path_)), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!named || ReadFileFacts(named.get()).link() || IsLinkPath(path_)) return false;
  return IsSameFile(named.get(), hold_.get());
}

void WorkingFolder::CheckPathLeadsToHeldFolder() const {
  if (!PathLeadsToHeldFolder()) {
    throw ReportError("the working folder was replaced", ERROR_FILE_NOT_FOUND);
  }
}

bool WorkingFolder::Remove() {
  if (!hold_) return false;
  // Emptied by the handle; the empty folder itself then goes as any folder
  // does, opened as itself and walked by handle again.
  RemoveTreeByHandle(hold_.get());
  hold_.reset();
  return RemoveTreeNoFollow(path_);
}

WorkingFolder PrepareWorkingFolder(const std::wstring& temp_dir, const std::wstring& program_file) {
  const std::wstring temp = EnsureTrailingBackslash(temp_dir);
  CreateParents(temp + kWorkingFolderName);
  if (auto folder = MakeOwnFolderIn(temp)) return std::move(*folder);
  if (auto folder =
          MakeOwnFolderIn(EnsureTrailingBackslash(SplitAtLastBackslash(program_file).first))) {
    return std::move(*folder);
  }
  throw ReportError("no working folder could be made", ERROR_CANNOT_MAKE);
}

bool RemoveFolder(const std::wstring& folder) {
  return RemoveTreeNoFollow(folder);
}

}  // namespace velmora
