// Writes entries into an archive file in the order they come, then the
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

class ZipWriter {
 public:
  ZipWriter(ArchiveFile& out, const zip::Limits& limits) : out_(out), limits_(limits) {}

  // Reserves the entry's local header; its CRC and sizes are known only at the end.
  void BeginEntry(const ArchiveItem& item, uint64_t expected_size);
  void WriteEntryData(const std::string& compressed);
  // Fills in the local header and keeps the entry for the central directory.
  void FinishEntry(uint32_t crc32, uint64_t uncompressed_size);
  // Cuts the entry begun last out of the archive again.
  void AbandonEntry();
  void Finish();
  size_t entry_count() const { return entries_.size(); }

 private:
  ArchiveFile& out_;
  zip::Limits limits_;
  zip::Entry current_;
  std::vector<zip::Entry> entries_;
};

// The entry name as stored, and whether it is UTF-8 (flag bit 11). An OEM name
// is read in the code page of whoever opens the archive, which need not be the
// user's (a Turkish "ı" comes out as a Greek letter on another machine): every
// name outside ASCII is stored in UTF-8, ASCII names as they are.
std::pair<std::string, bool> EncodeEntryName(const std::wstring& name);

}  // namespace velmora
