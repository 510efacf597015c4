// Remembers the folders a walk has been through by their identity on the
// volume, not by their path: a junction or a link that leads back to a folder
// already walked would otherwise make the walk go round until the paths grow
// too long, listing and hashing the same files again and again.
#pragma once

#include <windows.h>

#include <set>
#include <utility>

namespace velmora {

class VisitedFolders {
 public:
  // True the first time an open folder is offered, false for the same folder
  // again under any path. A folder whose identity cannot be read counts as new.
  bool FirstVisit(HANDLE folder);
  // The same for a folder known by its volume serial number and file index.
  // Some redirectors and file systems give every folder the index 0: such an
  // index tells nothing, and the folder counts as new.
  bool FirstVisit(DWORD volume_serial, unsigned long long file_index);

 private:
  // Volume serial number and the 64-bit file index.
  std::set<std::pair<DWORD, unsigned long long>> seen_;
};

}  // namespace velmora
