#include "common/tree_removal.h"

#include <string>
#include <vector>

#include "common/handles.h"
#include "common/relative_files.h"

namespace velmora {

namespace {

// Deeper than any tree the program makes; what lies further down stays.
constexpr int kDeepestLevel = 256;

bool RemoveTreeAtLevel(HANDLE folder, int level);

UniqueHandle OpenChildToRemove(HANDLE folder, const std::wstring& name) {
  if (UniqueHandle child = OpenChild(folder, name, kRemoveTreeAccess, kRemoveTreeShare)) {
    return child;
  }
  // A file held open without read sharing can still be deleted, not listed.
  return OpenChild(folder, name, kRemoveTreeAccess & ~FILE_LIST_DIRECTORY, kRemoveTreeShare);
}

// Whether the folder's entry of that name is the object the handle is open
// on. A system that resolves links on open (as Wine does) hands out the
// target's handle with the target's attributes; the folder's own entry still
// shows the link, and a name swapped again since shows another file number.
bool NamesTheOpenedObject(HANDLE folder, const std::wstring& name, HANDLE child) {
  FolderEntryFacts entry;
  if (!FindFolderEntry(folder, name, &entry) || (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  const LONGLONG id = FileIdOf(child);
  return entry.file_id == 0 || id == 0 || entry.file_id == id;
}

bool RemoveChild(HANDLE folder, const std::wstring& name, int level) {
  const UniqueHandle child = OpenChildToRemove(folder, name);
  if (!child) return false;
  const FileFacts facts = ReadFileFacts(child.get());
  if (!facts.known()) return false;
  // The handle is the link itself: it goes, what it leads to is never entered.
  if (facts.link()) return MarkForDeletion(child.get());
  if (!NamesTheOpenedObject(folder, name, child.get())) return false;
  if (facts.folder() && !RemoveTreeAtLevel(child.get(), level + 1)) return false;
  return ClearReadOnly(child.get(), facts.attributes) && MarkForDeletion(child.get());
}

bool RemoveTreeAtLevel(HANDLE folder, int level) {
  if (level > kDeepestLevel) return false;
  // The names first: deleting while the system lists would skip entries.
  std::vector<FolderEntryFacts> entries;
  if (!ListFolderEntries(folder, &entries)) return false;
  bool all_removed = true;
  for (const FolderEntryFacts& entry : entries) {
    // Each child's handle closes, and the child goes, before the next one.
    all_removed = RemoveChild(folder, entry.name, level) && all_removed;
  }
  return all_removed && MarkForDeletion(folder);
}

}  // namespace

bool RemoveTreeByHandle(HANDLE folder) {
  return RemoveTreeAtLevel(folder, 0);
}

bool RemoveChildTree(HANDLE folder, const std::wstring& name) {
  return RemoveChild(folder, name, 0);
}

}  // namespace velmora
