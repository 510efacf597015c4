#include "reports/files/find_files.h"

#include <windows.h>

#include <algorithm>

#include "common/folder_entries.h"
#include "common/no_follow_files.h"
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
  ReportList& list;
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

// `folder` ends with a backslash.
void SearchFolder(Search& search, const std::wstring& folder) {
  ForEachFolderEntry(folder + L"*.*", [&](const std::wstring& name, const WIN32_FIND_DATAW& entry) {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (TakesFile(search, name)) search.list.push_back(folder + name);
      return;
    }
    // Version-control folders hold copies of the files, not installed ones.
    // Only the exact lower-case name is skipped, as the tool writes it.
    if (name == L".svn") return;
    if (search.kind == FindKind::kFolders) search.list.push_back(folder + name);
    if (search.kind == FindKind::kFilesAndFolders) search.list.push_back(folder + name + L"\\");
    // A link may lead anywhere, another account's files and the whole
    // system included: the walk stays in the folders that are really there.
    if (IsLinkEntry(entry)) return;
    const std::wstring subfolder = folder + name + L"\\";
    if (search.recurse && search.visited.FirstVisit(subfolder)) SearchFolder(search, subfolder);
  });
}

}  // namespace

void FindFiles(const std::wstring& folder, ReportList& list, FindKind kind,
               const std::wstring& masks, bool recurse) {
  if (folder.empty()) return;
  Search search{list, kind, ParseMasks(masks), recurse, {}};
  const std::wstring top = EnsureTrailingBackslash(folder);
  search.visited.FirstVisit(top);
  SearchFolder(search, top);
}

}  // namespace velmora
