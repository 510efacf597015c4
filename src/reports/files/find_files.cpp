#include "reports/files/find_files.h"

#include <windows.h>

#include <algorithm>

#include "common/handles.h"
#include "common/no_follow_files.h"
#include "common/relative_files.h"
#include "common/strings.h"
#include "reports/files/visited_folders.h"

namespace velmora {

namespace {

// The extensions that a masks text selects: lower-cased, leading "*" dropped,
// empty parts left out ("*.exe|*.DLL" gives ".exe" and ".dll").
std::vector<std::wstring> ParseMasks(const std::wstring& masks) {
  std::vector<std::wstring> extensions;
  const std::wstring lower = ToLower(masks);
  size_t start = 0;
  for (;;) {
    const size_t bar = lower.find(L'|', start);
    const std::wstring part =
        lower.substr(start, bar == std::wstring::npos ? std::wstring::npos : bar - start);
    const size_t first = part.find_first_not_of(L'*');
    if (first != std::wstring::npos) extensions.push_back(part.substr(first));
    if (bar == std::wstring::npos) return extensions;
    start = bar + 1;
  }
}

struct Search {
  const FoundEntryVisitor& visit;
  FindKind kind;
  std::vector<std::wstring> extensions;
  bool recurse;
  VisitedFolders visited;
};

// From the last "." on, lower-cased; empty when the name has no ".".
std::wstring ExtensionOf(const std::wstring& name) {
  const size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? std::wstring() : ToLower(name.substr(dot));
}

bool TakesFile(const Search& search, const std::wstring& name) {
  if (search.kind != FindKind::kFiles && search.kind != FindKind::kFilesAndFolders) return false;
  if (search.extensions.empty()) return true;
  const std::wstring extension = ExtensionOf(name);
  return std::find(search.extensions.begin(), search.extensions.end(), extension) !=
         search.extensions.end();
}

// `folder` ends with a backslash; `handle` is held open on it. Each entry is
// taken from the folder's handle and each subfolder opened relative to it:
// whatever the names on the way are changed to meanwhile, the walk stays in
// the folders it started in.
void SearchFolder(Search& search, HANDLE handle, const std::wstring& folder) {
  std::vector<FolderEntryFacts> entries;
  // A listing that breaks off still gives what it found.
  ListFolderEntries(handle, &entries);
  for (const FolderEntryFacts& entry : entries) {
    if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (TakesFile(search, entry.name)) search.visit({folder + entry.name, handle, entry});
      continue;
    }
    // Version-control folders hold copies of the files, not installed ones.
    // Only the exact lower-case name is skipped, as the tool writes it.
    if (entry.name == L".svn") continue;
    if (search.kind == FindKind::kFolders) search.visit({folder + entry.name, handle, entry});
    if (search.kind == FindKind::kFilesAndFolders)
      search.visit({folder + entry.name + L"\\", handle, entry});
    // A link may lead anywhere, another account's files and the whole
    // system included: the walk stays in the folders that are really there.
    if (!search.recurse || IsLinkListed(entry)) continue;
    const UniqueHandle subfolder = OpenListedFolderIn(handle, entry);
    if (subfolder && search.visited.FirstVisit(subfolder.get())) {
      SearchFolder(search, subfolder.get(), folder + entry.name + L"\\");
    }
  }
}

}  // namespace

void FindFiles(const std::wstring& folder, ReportList& list, FindKind kind,
               const std::wstring& masks, bool recurse) {
  FindFiles(folder, kind, masks, recurse,
            [&list](const FoundEntry& found) { list.push_back(found.path); });
}

void FindFiles(const std::wstring& folder, FindKind kind, const std::wstring& masks, bool recurse,
               const FoundEntryVisitor& visit) {
  if (folder.empty()) return;
  Search search{visit, kind, ParseMasks(masks), recurse, {}};
  const std::wstring top = EnsureTrailingBackslash(folder);
  // The folder asked for is taken as it is; below it nothing is followed.
  const UniqueHandle handle = OpenHeldFolder(top);
  if (!handle) return;
  search.visited.FirstVisit(handle.get());
  SearchFolder(search, handle.get(), top);
}

}  // namespace velmora
