// The recursive file search that the files report and the Startup group of the
// autoruns report walk folders with.
#pragma once

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

}  // namespace velmora
