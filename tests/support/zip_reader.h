// Reads back an archive the way an unzip tool does, keeping every header field
// so that tests can check the bytes that were written.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmora::test {

struct ZipHeaderFields {
  uint16_t version_needed = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dos_time = 0;
  uint16_t dos_date = 0;
  uint32_t crc32 = 0;
  uint64_t compressed_size = 0;    // after ZIP64 resolution
  uint64_t uncompressed_size = 0;  // after ZIP64 resolution
  uint32_t raw_compressed_size = 0;
  uint32_t raw_uncompressed_size = 0;
  std::string name;
  std::string extra;
};

struct ZipEntryInfo {
  ZipHeaderFields central;
  ZipHeaderFields local;
  uint16_t version_made_by = 0;
  uint32_t external_attributes = 0;
  uint64_t local_header_offset = 0;
  std::string data;  // inflated
};

struct ZipArchiveInfo {
  bool has_zip64_end = false;
  uint64_t entry_count = 0;
  uint16_t eocd_entry_count = 0;
  uint16_t comment_length = 0;
  std::vector<ZipEntryInfo> entries;
  const ZipEntryInfo* Find(const std::string& name) const;
};

// Parses the whole archive; empty with `error` set when anything is off.
std::optional<ZipArchiveInfo> ReadZip(const std::string& bytes, std::string& error);

uint32_t Crc32Of(const std::string& data);
std::string Utf8(const std::wstring& text);

}  // namespace velmora::test
