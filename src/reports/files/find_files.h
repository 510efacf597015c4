// The recursive file search that the files report and the Startup group of the
// autoruns report walk folders with.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/report_list.h"

namespace velmora {

enum class FindKind {
  kFiles = 0,            // files only
  kFolders = 1,          // folders only, without a trailing backslash
  kNothing = 2,          // only the walk
  kFilesAndFolders = 3,  // both, folders with a trailing backslash
};

// Appends the full paths of the folder's entries to `list` (not cleared first)
// in the order the file system gives them, hidden and system entries included.
// `masks` such as "*.exe|*.dll|*.sys" select files by extension without regard
// to case; empty masks take every file. With `recurse`, each subfolder is
// searched right after its own entry, depth first; folders named exactly ".svn"
// are skipped, and a folder reached again through a link is listed but not
// searched again. A folder that cannot be searched adds nothing.
void FindFiles(const std::wstring& folder, ReportList& list, FindKind kind,
               const std::wstring& masks, bool recurse);

struct FolderEntryFacts;  // common/relative_files.h

// An entry that a walk found, told while the walk still holds the folder it
// was listed in: whoever reads the file opens it relative to `folder`, so
// that a folder on the way swapped for a link since cannot lead elsewhere.
struct FoundEntry {
  const std::wstring& path;  // as FindFiles lists it
  HANDLE folder;
  const FolderEntryFacts& entry;
};
using FoundEntryVisitor = std::function<void(const FoundEntry&)>;

// The same search, each entry handed to `visit` in the order FindFiles lists
// them instead of being appended to a list.
void FindFiles(const std::wstring& folder, FindKind kind, const std::wstring& masks, bool recurse,
               const FoundEntryVisitor& visit);

}  // namespace velmora
