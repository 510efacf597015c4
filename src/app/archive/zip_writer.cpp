#include "app/archive/zip_writer.h"

#include "app/archive/raw_deflate.h"
#include "common/strings.h"

namespace velmora {

namespace {
constexpr size_t kReadBufferSize = 1 << 20;
}

std::pair<std::string, bool> EncodeEntryName(const std::wstring& name) {
  const UINT oem = ::GetOEMCP();
  if (FitsCodePage(name, oem)) return {EncodeCodePage(name, oem), false};
  return {EncodeCodePage(name, CP_UTF8), true};
}

bool DeflateToMemory(HANDLE file, uint64_t size, DeflatedData& out) {
  out.compressed.clear();
  RawDeflater deflater([&](const char* data, size_t n) { out.compressed.append(data, n); });
  std::vector<char> buffer(kReadBufferSize);
  if (!ReadInPieces(file, size, buffer, [&](const char* d, size_t n) { deflater.Feed(d, n); })) {
    return false;
  }
  deflater.Finish();
  out.crc32 = deflater.crc32();
  out.uncompressed_size = deflater.bytes_in();
  return true;
}

zip::Entry ZipWriter::BeginEntry(const ArchiveItem& item, uint64_t size) const {
  zip::Entry entry;
  const auto [name, utf8] = EncodeEntryName(item.name);
  entry.name = name;
  entry.flags = zip::kFlagMaximumCompression | (utf8 ? zip::kFlagUtf8Name : 0);
  entry.utf8_name = utf8;
  FILETIME local;
  if (!::FileTimeToLocalFileTime(&item.last_write, &local) ||
      !::FileTimeToDosDateTime(&local, &entry.dos_date, &entry.dos_time)) {
    entry.dos_date = (1 << 5) | 1;  // 1980-01-01, the earliest DOS date
    entry.dos_time = 0;
  }
  entry.external_attributes = item.attributes;
  entry.local_header_offset = out_.position();
  entry.zip64_sizes = zip::NeedsZip64Sizes(size, limits_);
  return entry;
}

void ZipWriter::AddDeflated(const ArchiveItem& item, const DeflatedData& data) {
  zip::Entry entry = BeginEntry(item, data.uncompressed_size);
  entry.crc32 = data.crc32;
  entry.uncompressed_size = data.uncompressed_size;
  entry.compressed_size = data.compressed.size();
  out_.Write(zip::LocalFileHeader(entry, limits_));
  out_.Write(data.compressed);
  entries_.push_back(std::move(entry));
}

bool ZipWriter::AddStreamed(const ArchiveItem& item, HANDLE file, uint64_t size) {
  zip::Entry entry = BeginEntry(item, size);
  // The header's CRC and sizes are known only afterwards: reserve its place.
  out_.Write(std::string(zip::LocalFileHeaderSize(entry), '\0'));
  RawDeflater deflater([&](const char* data, size_t n) { out_.Write(data, n); });
  std::vector<char> buffer(kReadBufferSize);
  if (!ReadInPieces(file, size, buffer, [&](const char* d, size_t n) { deflater.Feed(d, n); })) {
    out_.TruncateTo(entry.local_header_offset);
    return false;
  }
  deflater.Finish();
  entry.crc32 = deflater.crc32();
  entry.uncompressed_size = deflater.bytes_in();
  entry.compressed_size = deflater.bytes_out();
  out_.WriteAt(entry.local_header_offset, zip::LocalFileHeader(entry, limits_));
  entries_.push_back(std::move(entry));
  return true;
}

void ZipWriter::Finish() {
  const uint64_t directory_offset = out_.position();
  std::string directory;
  for (const zip::Entry& entry : entries_) {
    directory += zip::CentralFileHeader(entry, limits_);
    if (directory.size() >= kReadBufferSize) {
      out_.Write(directory);
      directory.clear();
    }
  }
  out_.Write(directory);
  const uint64_t directory_size = out_.position() - directory_offset;
  out_.Write(zip::EndOfCentralDirectory(entries_.size(), directory_size, directory_offset,
                                        limits_));
}

}  // namespace velmora
