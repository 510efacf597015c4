#include "app/archive/zip_records.h"

#include <zlib.h>

namespace velmora::zip {

namespace {

constexpr uint32_t kFieldOverflow32 = 0xFFFFFFFFu;
constexpr uint16_t kFieldOverflow16 = 0xFFFFu;

class RecordBuilder {
 public:
  RecordBuilder& U16(uint64_t v) { return Bytes(v, 2); }
  RecordBuilder& U32(uint64_t v) { return Bytes(v, 4); }
  RecordBuilder& U64(uint64_t v) { return Bytes(v, 8); }
  RecordBuilder& Append(const std::string& bytes) {
    out_ += bytes;
    return *this;
  }
  std::string Take() { return std::move(out_); }

 private:
  RecordBuilder& Bytes(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return *this;
  }
  std::string out_;
};

struct CentralOverflow {
  bool uncompressed, compressed, offset;
  bool any() const { return uncompressed || compressed || offset; }
};

CentralOverflow CentralOverflowOf(const Entry& entry, const Limits& limits) {
  return {entry.zip64_sizes || entry.uncompressed_size >= limits.max32,
          entry.zip64_sizes || entry.compressed_size >= limits.max32,
          entry.local_header_offset >= limits.max32};
}

// 4.6.9: version 1, the CRC-32 of the header's name field, the UTF-8 name.
std::string UnicodePathField(const Entry& entry) {
  if (!entry.utf8_name) return {};
  const auto* name = reinterpret_cast<const Bytef*>(entry.name.data());
  const uint32_t name_crc =
      static_cast<uint32_t>(::crc32(::crc32(0, Z_NULL, 0), name, entry.name.size()));
  return RecordBuilder()
      .U16(kUnicodePathExtraFieldId)
      .U16(1 + 4 + entry.name.size())
      .Append(std::string(1, '\x01'))
      .U32(name_crc)
      .Append(entry.name)
      .Take();
}

uint16_t VersionNeeded(bool zip64) { return zip64 ? kVersionZip64 : kVersionDeflate; }

}  // namespace

bool NeedsZip64Sizes(uint64_t uncompressed_size, const Limits& limits) {
  // Worst-case deflate growth, as zlib's deflateBound() reckons it.
  const uint64_t bound = uncompressed_size + (uncompressed_size >> 12) +
                         (uncompressed_size >> 14) + (uncompressed_size >> 25) + 13 + 6;
  return bound >= limits.max32;
}

size_t LocalFileHeaderSize(const Entry& entry) {
  return 30 + entry.name.size() + (entry.zip64_sizes ? 20 : 0) + UnicodePathField(entry).size();
}

std::string LocalFileHeader(const Entry& entry, const Limits& limits) {
  const bool zip64 = entry.zip64_sizes;
  const std::string unicode_path = UnicodePathField(entry);
  RecordBuilder r;
  r.U32(kLocalFileHeaderSignature)
      .U16(VersionNeeded(zip64 || entry.local_header_offset >= limits.max32))
      .U16(entry.flags)
      .U16(kMethodDeflate)
      .U16(entry.dos_time)
      .U16(entry.dos_date)
      .U32(entry.crc32)
      .U32(zip64 ? kFieldOverflow32 : entry.compressed_size)
      .U32(zip64 ? kFieldOverflow32 : entry.uncompressed_size)
      .U16(entry.name.size())
      .U16((zip64 ? 20 : 0) + unicode_path.size())
      .Append(entry.name);
  if (zip64) {
    // In a local header the ZIP64 field holds both sizes (4.5.3).
    r.U16(kZip64ExtraFieldId).U16(16).U64(entry.uncompressed_size).U64(entry.compressed_size);
  }
  return r.Append(unicode_path).Take();
}

std::string CentralFileHeader(const Entry& entry, const Limits& limits) {
  const CentralOverflow over = CentralOverflowOf(entry, limits);
  RecordBuilder extra;
  if (over.uncompressed) extra.U64(entry.uncompressed_size);
  if (over.compressed) extra.U64(entry.compressed_size);
  if (over.offset) extra.U64(entry.local_header_offset);
  std::string extra_data = extra.Take();
  if (!extra_data.empty()) {
    extra_data = RecordBuilder()
                     .U16(kZip64ExtraFieldId)
                     .U16(extra_data.size())
                     .Append(extra_data)
                     .Take();
  }
  extra_data += UnicodePathField(entry);
  const uint16_t version = VersionNeeded(over.any());
  return RecordBuilder()
      .U32(kCentralFileHeaderSignature)
      .U16((kHostMsDos << 8) | version)  // version made by
      .U16(version)                      // version needed to extract
      .U16(entry.flags)
      .U16(kMethodDeflate)
      .U16(entry.dos_time)
      .U16(entry.dos_date)
      .U32(entry.crc32)
      .U32(over.compressed ? kFieldOverflow32 : entry.compressed_size)
      .U32(over.uncompressed ? kFieldOverflow32 : entry.uncompressed_size)
      .U16(entry.name.size())
      .U16(extra_data.size())
      .U16(0)  // comment length
      .U16(0)  // disk number start
      .U16(0)  // internal attributes
      .U32(entry.external_attributes)
      .U32(over.offset ? kFieldOverflow32 : entry.local_header_offset)
      .Append(entry.name)
      .Append(extra_data)
      .Take();
}

std::string EndOfCentralDirectory(uint64_t entry_count, uint64_t directory_size,
                                  uint64_t directory_offset, const Limits& limits) {
  const bool count_over = entry_count >= limits.max16;
  const bool size_over = directory_size >= limits.max32;
  const bool offset_over = directory_offset >= limits.max32;
  RecordBuilder r;
  if (count_over || size_over || offset_over) {
    const uint64_t zip64_record_offset = directory_offset + directory_size;
    r.U32(kZip64EndOfCentralDirSignature)
        .U64(44)  // size of the rest of this record
        .U16((kHostMsDos << 8) | kVersionZip64)
        .U16(kVersionZip64)
        .U32(0)  // number of this disk
        .U32(0)  // disk with the central directory
        .U64(entry_count)
        .U64(entry_count)
        .U64(directory_size)
        .U64(directory_offset);
    r.U32(kZip64EndOfCentralDirLocatorSignature)
        .U32(0)  // disk with the ZIP64 end record
        .U64(zip64_record_offset)
        .U32(1);  // total number of disks
  }
  r.U32(kEndOfCentralDirSignature)
      .U16(0)  // number of this disk
      .U16(0)  // disk where the central directory starts
      .U16(count_over ? kFieldOverflow16 : entry_count)
      .U16(count_over ? kFieldOverflow16 : entry_count)
      .U32(size_over ? kFieldOverflow32 : directory_size)
      .U32(offset_over ? kFieldOverflow32 : directory_offset)
      .U16(0);  // comment length
  return r.Take();
}

}  // namespace velmora::zip
