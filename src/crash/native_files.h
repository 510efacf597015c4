// Files opened, written and renamed through the system's native calls, with
// paths converted before any crash. The Win32 calls that take a path convert
// it on the process heap, which the fault may have damaged or left locked;
// these take the prepared form and need neither the heap nor the loader.
// Nothing here follows a link or junction: a name is opened as itself.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/handles.h"

namespace velmora::crash {

// Looks up the native calls, once (the first NativePath does it); false when
// the system lacks them (nothing here then works).
bool LoadNativeFileFunctions();

// A path in the system's own form ("\??\C:\folder\file"), made at start-up.
class NativePath {
 public:
  NativePath() = default;
  explicit NativePath(const std::wstring& path);

  bool valid() const { return !text_.empty(); }
  const std::wstring& text() const { return text_; }

 private:
  std::wstring text_;
};

// What a rename to `target` hands to the system, made at start-up.
class RenameTarget {
 public:
  RenameTarget() = default;
  explicit RenameTarget(const NativePath& target);

  const void* data() const { return bytes_.data(); }
  ULONG size() const { return static_cast<ULONG>(bytes_.size()); }

 private:
  std::vector<BYTE> bytes_;
};

// An existing file opened for reading. Invalid when missing, when it is a
// folder, or when it cannot be opened.
UniqueHandle OpenFileToRead(const NativePath& path);

// An object at `path`, whatever it is, opened as itself for deleting it.
UniqueHandle OpenToDelete(const NativePath& path);

// A file made new at `path` for writing. Fails when anything at all stands
// there, a link (even one whose target is missing) included.
UniqueHandle CreateNewFile(const NativePath& path);

// Gives the open file the target's name, replacing what is there; a link at
// the target's name is replaced itself, never followed.
bool RenameOpenFile(HANDLE file, const RenameTarget& target);

// Deletes the open object when its last handle closes.
bool DeleteOpenFile(HANDLE file);

}  // namespace velmora::crash
