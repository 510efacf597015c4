// The files that go into the archive: a walk of the folder tree, and reading
// each file through a fixed-size buffer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/handles.h"

namespace velmora {

struct ArchiveItem {
  std::wstring path;  // full path on disk
  std::wstring name;  // relative to the root, "/" between folders
  uint32_t attributes = 0;
  FILETIME last_write = {};
};

// Every file below `root` (a folder path, trailing backslash optional) in walk
// order, recursing into sub-folders; hidden and system files are left out.
std::vector<ArchiveItem> WalkArchiveTree(const std::wstring& root);

// Opened for reading with full sharing, so files that others write can still be read.
UniqueHandle OpenForArchive(const std::wstring& path);
// The size of an open file, or -1.
int64_t OpenFileSize(HANDLE file);

// Reads up to `wanted` bytes into `out` (fewer when the file ends first).
// False when a read fails.
bool ReadUpTo(HANDLE file, size_t wanted, std::string& out);

}  // namespace velmora
