// The ZIP records this program writes, laid out field by field in the order of
// PKWARE's APPNOTE (section numbers in the comments). All fields little-endian.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::zip {

constexpr uint32_t kLocalFileHeaderSignature = 0x04034b50;         // 4.3.7
constexpr uint32_t kCentralFileHeaderSignature = 0x02014b50;       // 4.3.12
constexpr uint32_t kZip64EndOfCentralDirSignature = 0x06064b50;    // 4.3.14
constexpr uint32_t kZip64EndOfCentralDirLocatorSignature = 0x07064b50;  // 4.3.15
constexpr uint32_t kEndOfCentralDirSignature = 0x06054b50;         // 4.3.16
constexpr uint16_t kZip64ExtraFieldId = 0x0001;                    // 4.5.3
constexpr uint16_t kUnicodePathExtraFieldId = 0x7075;              // 4.6.9

constexpr uint16_t kMethodDeflate = 8;
constexpr uint16_t kFlagMaximumCompression = 1u << 1;  // bits 1-2 = 01 with method 8 (4.4.4)
constexpr uint16_t kFlagUtf8Name = 1u << 11;           // language encoding flag (4.4.4)
constexpr uint16_t kVersionDeflate = 20;               // 2.0: deflate, folders (4.4.3.2)
constexpr uint16_t kVersionZip64 = 45;                 // 4.5: ZIP64
constexpr uint16_t kHostMsDos = 0;                     // external attributes are DOS attributes

// Values at or above these do not fit their fields and go to a ZIP64 record.
// The real limits are 0xFFFFFFFF and 0xFFFF (those values themselves mark
// "see ZIP64"); tests lower them to exercise the ZIP64 layout on small archives.
struct Limits {
  uint64_t max32 = 0xFFFFFFFFu;
  uint64_t max16 = 0xFFFFu;
};

// What the local and central headers say of one entry.
struct Entry {
  std::string name;  // already encoded (OEM code page or UTF-8)
  uint16_t flags = 0;
  uint16_t dos_time = 0;
  uint16_t dos_date = 0;
  uint32_t crc32 = 0;
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  uint64_t local_header_offset = 0;
  uint32_t external_attributes = 0;
  // Decided before the data is written, since the local header's size depends on it.
  bool zip64_sizes = false;
  // A UTF-8 name (flag bit 11) is repeated in a Unicode Path field, without
  // which Info-ZIP's unzip reads it as an OEM name when the host is MS-DOS.
  bool utf8_name = false;
};

// Whether an entry of this size may come out of deflate at or above the limit
// (deflate can grow incompressible data by a few bytes per block).
bool NeedsZip64Sizes(uint64_t uncompressed_size, const Limits& limits);

// 4.3.7, with a ZIP64 extra field holding both sizes when entry.zip64_sizes.
std::string LocalFileHeader(const Entry& entry, const Limits& limits);
size_t LocalFileHeaderSize(const Entry& entry);
// 4.3.12, with a ZIP64 extra field for each value that does not fit.
std::string CentralFileHeader(const Entry& entry, const Limits& limits);
// 4.3.14-4.3.16: the end records; the ZIP64 pair only when a value does not fit.
std::string EndOfCentralDirectory(uint64_t entry_count, uint64_t directory_size,
                                  uint64_t directory_offset, const Limits& limits);

}  // namespace velmora::zip
