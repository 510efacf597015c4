#include "reports/files/find_files.h"

#include <windows.h>

#include <algorithm>

#include "common/handles.h"
#include "common/strings.h"

namespace velmora {

namespace {

struct Search {
  ReportList& list;
  FindKind kind;
  std::vector<std::wstring> extensions;
  bool recurse;
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

// `folder` ends with a backslash. Path length bounds the depth: a folder
// whose path the platform no longer takes cannot be searched.
void SearchFolder(const Search& search, const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  UniqueFindHandle find(::FindFirstFileW((folder + L"*.*").c_str(), &entry));
  if (!find) return;
  do {
    const std::wstring name = FromBuffer(entry.cFileName, MAX_PATH);
    if (name == L"." || name == L"..") continue;
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (TakesFile(search, name)) search.list.push_back(folder + name);
      continue;
    }
    // Version-control folders hold copies of the files, not installed ones.
    // Only the exact lower-case name is skipped, as the tool writes it.
    if (name == L".svn") continue;
    if (search.kind == FindKind::kFolders) search.list.push_back(folder + name);
    if (search.kind == FindKind::kFilesAndFolders) search.list.push_back(folder + name + L"\\");
    if (search.recurse) SearchFolder(search, folder + name + L"\\");
  } while (::FindNextFileW(find.get(), &entry));
}

}  // namespace

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

void FindFiles(const std::wstring& folder, ReportList& list, FindKind kind,
               const std::wstring& masks, bool recurse) {
  if (folder.empty()) return;
  const Search search{list, kind, ParseMasks(masks), recurse};
  SearchFolder(search, EnsureTrailingBackslash(folder));
}

}  // namespace velmora
