#include "app/archive/zip_writer.h"

#include <algorithm>

#include "common/strings.h"

namespace velmora {

std::pair<std::string, bool> EncodeEntryName(const std::wstring& name) {
  const bool ascii = std::all_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x80; });
  return {EncodeCodePage(name, CP_UTF8), !ascii};
}

void ZipWriter::BeginEntry(const ArchiveItem& item, uint64_t expected_size) {
  zip::Entry entry;
  const auto [name, utf8] = EncodeEntryName(item.name);
  entry.name = name;
  entry.utf8_name = utf8;
  entry.flags = zip::kFlagMaximumCompression | (utf8 ? zip::kFlagUtf8Name : 0);
  FILETIME local;
  if (!::FileTimeToLocalFileTime(&item.last_write, &local) ||
      !::FileTimeToDosDateTime(&local, &entry.dos_date, &entry.dos_time)) {
    entry.dos_date = (1 << 5) | 1;  // 1980-01-01, the earliest DOS date
    entry.dos_time = 0;
  }
  entry.external_attributes = item.attributes;
  entry.local_header_offset = out_.position();
  // Sizes can only shrink from here (a file is read no further than its size
  // at opening), so this decides the header's layout for good.
  entry.zip64_sizes = zip::NeedsZip64Sizes(expected_size, limits_);
  current_ = std::move(entry);
  out_.Write(std::string(zip::LocalFileHeaderSize(current_), '\0'));
}

void ZipWriter::WriteEntryData(const std::string& compressed) {
  out_.Write(compressed);
  current_.compressed_size += compressed.size();
}

void ZipWriter::FinishEntry(uint32_t crc32, uint64_t uncompressed_size) {
  current_.crc32 = crc32;
  current_.uncompressed_size = uncompressed_size;
  out_.WriteAt(current_.local_header_offset, zip::LocalFileHeader(current_, limits_));
  entries_.push_back(std::move(current_));
  current_ = zip::Entry();
}

void ZipWriter::AbandonEntry() {
  out_.TruncateTo(current_.local_header_offset);
  current_ = zip::Entry();
}

void ZipWriter::Finish() {
  constexpr size_t kDirectoryBufferSize = 1 << 20;
  const uint64_t directory_offset = out_.position();
  std::string directory;
  for (const zip::Entry& entry : entries_) {
    directory += zip::CentralFileHeader(entry, limits_);
    if (directory.size() >= kDirectoryBufferSize) {
      out_.Write(directory);
      directory.clear();
    }
  }
  out_.Write(directory);
  const uint64_t directory_size = out_.position() - directory_offset;
  out_.Write(
      zip::EndOfCentralDirectory(entries_.size(), directory_size, directory_offset, limits_));
}

}  // namespace velmora
