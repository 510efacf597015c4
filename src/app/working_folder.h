// The report's working folder: made new for every run under the temporary
// folder (or, failing that, beside the program), held by the handle that made
// it from the moment it exists, closed to everyone but administrators and the
// system when the program runs elevated, and removed by that handle at the end.
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
  // Whether the path still leads to the folder this run made and holds.
  bool PathLeadsToHeldFolder() const;
  // Raises a ReportError when the path leads anywhere else.
  void CheckPathLeadsToHeldFolder() const;
  // Deletes the held folder with everything in it, by its handle. True when
  // it is gone.
  bool Remove();

 private:
  std::wstring path_;
  // The handle that made the folder, without delete sharing: nobody can
  // rename the folder away or put a link in its place while the run works.
  UniqueHandle hold_;
};

// Makes the working folder "GetInfoDir\" in temp_dir (with missing parents),
// or, where it cannot, beside the program file (whose folder is not created).
// A stale "GetInfoDir" is removed first, without following links; what of it
// cannot be removed is left alone, and the run makes a new folder of a unique
// name beside it instead, so a folder this run did not make is never used.
// Raises a ReportError when no folder of the run's own can be made.
WorkingFolder PrepareWorkingFolder(const std::wstring& temp_dir, const std::wstring& program_file);

// Deletes a folder with everything in it, outright (not to the recycle bin),
// without following links. True when the folder is gone.
bool RemoveFolder(const std::wstring& folder);

}  // namespace velmora
