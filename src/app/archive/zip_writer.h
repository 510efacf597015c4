// Writes entries into an archive file in the order they are added, then the
// central directory and its end records.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/archive/archive_file.h"
#include "app/archive/archive_tree.h"
#include "app/archive/zip_records.h"

namespace velmora {

// An entry's data, deflated ahead of writing.
struct DeflatedData {
  uint32_t crc32 = 0;
  uint64_t uncompressed_size = 0;
  std::string compressed;
};

// Deflates an open file of `size` bytes into memory; false when reading fails.
bool DeflateToMemory(HANDLE file, uint64_t size, DeflatedData& out);

class ZipWriter {
 public:
  ZipWriter(ArchiveFile& out, const zip::Limits& limits) : out_(out), limits_(limits) {}

  void AddDeflated(const ArchiveItem& item, const DeflatedData& data);
  // Deflates the open file straight into the archive. When reading fails the
  // entry is cut off again and false is returned.
  bool AddStreamed(const ArchiveItem& item, HANDLE file, uint64_t size);
  void Finish();
  size_t entry_count() const { return entries_.size(); }

 private:
  zip::Entry BeginEntry(const ArchiveItem& item, uint64_t size) const;
  ArchiveFile& out_;
  zip::Limits limits_;
  std::vector<zip::Entry> entries_;
};

// The entry name as stored, and whether it is UTF-8 (flag bit 11): the OEM code
// page when the name survives a round trip through it, UTF-8 otherwise.
std::pair<std::string, bool> EncodeEntryName(const std::wstring& name);

}  // namespace velmora
