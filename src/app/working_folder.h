// The report's working folder "GetInfoDir\": made fresh for every run under
// the temporary folder (or, failing that, beside the program), never reached
// through a link, held open while the run uses it, and removed at the end.
#pragma once

#include <string>

#include "common/handles.h"

namespace velmora {

class WorkingFolder {
 public:
  WorkingFolder(std::wstring path, UniqueHandle hold)
      : path_(std::move(path)), hold_(std::move(hold)) {}
  WorkingFolder(WorkingFolder&&) = default;
  WorkingFolder& operator=(WorkingFolder&&) = default;

  // With trailing backslash.
  const std::wstring& path() const { return path_; }
  // Lets go of the folder and deletes it with everything in it.
  bool Remove();

 private:
  std::wstring path_;
  // Open without delete sharing, so that nobody can swap the folder for a
  // link while the run writes into it.
  UniqueHandle hold_;
};

// Clears and makes temp_dir + "GetInfoDir\" (with missing parents). A folder
// that cannot be made fresh there (a link that cannot be removed, a stale
// folder that cannot be emptied, no room) gives way to "GetInfoDir\" beside
// the program file, prepared the same way except that the program's folder
// is not created. When neither can be made, the returned folder does not
// exist and the first report file saved into it fails the run.
WorkingFolder PrepareWorkingFolder(const std::wstring& temp_dir, const std::wstring& program_file);

// Deletes a folder with everything in it, outright (not to the recycle bin),
// without following links. True when the folder is gone.
bool RemoveFolder(const std::wstring& folder);

}  // namespace velmora
