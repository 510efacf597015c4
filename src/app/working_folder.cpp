#include "app/working_folder.h"

#include <windows.h>
#include <sddl.h>

#include "common/no_follow_files.h"
#include "common/strings.h"

namespace velmora {

namespace {

constexpr wchar_t kWorkingFolderName[] = L"GetInfoDir";

bool RunsAsAdministrator() {
  UniqueLocalMemory administrators;
  if (!::ConvertStringSidToSidW(L"S-1-5-32-544", reinterpret_cast<PSID*>(administrators.put()))) {
    return false;
  }
  BOOL member = FALSE;
  return ::CheckTokenMembership(nullptr, administrators.get(), &member) && member;
}

// Under UAC the elevated program shares the temporary folder with the user's
// unelevated programs. A folder that only administrators and the system can
// enter keeps them from planting links in it while the run works there.
bool CreatePrivateFolder(const std::wstring& path) {
  UniqueLocalMemory descriptor;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
  if (RunsAsAdministrator() &&
      ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", SDDL_REVISION_1,
          reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr)) {
    attributes.lpSecurityDescriptor = descriptor.get();
  }
  return ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
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

UniqueHandle HoldFolder(const std::wstring& path) {
  return UniqueHandle(::CreateFileW(
      path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Removes what stands at `path` without following it and makes a new folder
// there. The folder counts only when this run made it: a stale folder that
// could not be emptied would put old files into the archive.
UniqueHandle MakeFreshFolder(const std::wstring& path, bool with_parents) {
  if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) RemoveTreeNoFollow(path);
  if (with_parents) CreateParents(path);
  if (!CreatePrivateFolder(path)) return {};
  UniqueHandle hold = HoldFolder(path);
  // Checked after the hold is taken, so the folder cannot change in between.
  if (!hold || !IsRealFolder(path)) return {};
  return hold;
}

}  // namespace

bool WorkingFolder::Remove() {
  hold_.reset();
  return RemoveFolder(path_);
}

WorkingFolder PrepareWorkingFolder(const std::wstring& temp_dir, const std::wstring& program_file) {
  const std::wstring primary = EnsureTrailingBackslash(temp_dir) + kWorkingFolderName;
  if (UniqueHandle hold = MakeFreshFolder(primary, true)) {
    return WorkingFolder(primary + L"\\", std::move(hold));
  }
  const std::wstring fallback =
      EnsureTrailingBackslash(SplitAtLastBackslash(program_file).first) + kWorkingFolderName;
  return WorkingFolder(fallback + L"\\", MakeFreshFolder(fallback, false));
}

bool RemoveFolder(const std::wstring& folder) {
  return RemoveTreeNoFollow(folder);
}

}  // namespace velmora
