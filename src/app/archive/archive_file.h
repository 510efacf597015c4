// The archive file being written: sequential writes with the position tracked,
// patching an earlier record, and cutting back a dropped entry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "common/handles.h"

namespace velmora {

class ArchiveFile {
 public:
  // Takes over a file opened for reading and writing.
  explicit ArchiveFile(UniqueHandle file) : file_(std::move(file)) {}

  void Write(const void* data, size_t size);
  void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
  // Overwrites bytes at an earlier position and returns to the end.
  void WriteAt(uint64_t position, const std::string& bytes);
  // Drops everything from `position` on.
  void TruncateTo(uint64_t position);
  uint64_t position() const { return position_; }
  // Flushes and closes; raises ReportError when that fails.
  void Close();

 private:
  void Seek(uint64_t position);
  UniqueHandle file_;
  uint64_t position_ = 0;
};

}  // namespace velmora
