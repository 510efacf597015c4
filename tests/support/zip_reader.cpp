#include "support/zip_reader.h"

#include <windows.h>
#include <zlib.h>

namespace velmora::test {

namespace {

class Cursor {
 public:
  Cursor(const std::string& bytes, size_t at) : bytes_(bytes), at_(at) {}
  bool ok() const { return ok_; }
  size_t at() const { return at_; }
  uint64_t Read(int n) {
    if (at_ + n > bytes_.size()) {
      ok_ = false;
      return 0;
    }
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint64_t(uint8_t(bytes_[at_ + i])) << (8 * i);
    at_ += n;
    return v;
  }
  std::string Take(size_t n) {
    if (at_ + n > bytes_.size()) {
      ok_ = false;
      return {};
    }
    std::string s = bytes_.substr(at_, n);
    at_ += n;
    return s;
  }

 private:
  const std::string& bytes_;
  size_t at_;
  bool ok_ = true;
};

// Resolves 0xFFFFFFFF fields from the ZIP64 extra field, in APPNOTE order.
void ApplyZip64(ZipHeaderFields& h, uint64_t* offset) {
  for (size_t i = 0; i + 4 <= h.extra.size();) {
    const uint16_t id = uint8_t(h.extra[i]) | uint8_t(h.extra[i + 1]) << 8;
    const uint16_t size = uint8_t(h.extra[i + 2]) | uint8_t(h.extra[i + 3]) << 8;
    if (id == 1) {
      Cursor c(h.extra, i + 4);
      if (h.raw_uncompressed_size == 0xFFFFFFFF) h.uncompressed_size = c.Read(8);
      if (h.raw_compressed_size == 0xFFFFFFFF) h.compressed_size = c.Read(8);
      if (offset != nullptr && *offset == 0xFFFFFFFF) *offset = c.Read(8);
    }
    i += 4 + size;
  }
}

std::string Inflate(const std::string& compressed, uint64_t expected, std::string& error) {
  z_stream s = {};
  inflateInit2(&s, -15);
  std::string out(expected, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  s.avail_in = static_cast<uInt>(compressed.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&s, Z_FINISH);
  if (result != Z_STREAM_END) error = "inflate did not reach the end: " + std::to_string(result);
  if (s.total_out != expected) error = "inflated size differs";
  inflateEnd(&s);
  return out;
}

ZipHeaderFields ReadCommon(Cursor& c) {
  ZipHeaderFields h;
  h.version_needed = c.Read(2);
  h.flags = c.Read(2);
  h.method = c.Read(2);
  h.dos_time = c.Read(2);
  h.dos_date = c.Read(2);
  h.crc32 = c.Read(4);
  h.raw_compressed_size = c.Read(4);
  h.raw_uncompressed_size = c.Read(4);
  h.compressed_size = h.raw_compressed_size;
  h.uncompressed_size = h.raw_uncompressed_size;
  return h;
}

bool ReadEntry(const std::string& bytes, Cursor& c, ZipEntryInfo& e, std::string& error) {
  if (c.Read(4) != 0x02014b50) return (error = "bad central header signature"), false;
  e.version_made_by = c.Read(2);
  e.central = ReadCommon(c);
  const size_t name_length = c.Read(2), extra_length = c.Read(2), comment_length = c.Read(2);
  c.Read(2);
  c.Read(2);
  e.external_attributes = c.Read(4);
  e.local_header_offset = c.Read(4);
  e.central.name = c.Take(name_length);
  e.central.extra = c.Take(extra_length);
  c.Take(comment_length);
  ApplyZip64(e.central, &e.local_header_offset);

  Cursor l(bytes, e.local_header_offset);
  if (l.Read(4) != 0x04034b50) return (error = "bad local header signature"), false;
  e.local = ReadCommon(l);
  const size_t local_name = l.Read(2), local_extra = l.Read(2);
  e.local.name = l.Take(local_name);
  e.local.extra = l.Take(local_extra);
  ApplyZip64(e.local, nullptr);
  const std::string compressed = l.Take(e.central.compressed_size);
  if (!c.ok() || !l.ok()) return (error = "archive truncated"), false;
  e.data = Inflate(compressed, e.central.uncompressed_size, error);
  return error.empty();
}

}  // namespace

const ZipEntryInfo* ZipArchiveInfo::Find(const std::string& name) const {
  for (const ZipEntryInfo& e : entries) {
    if (e.central.name == name) return &e;
  }
  return nullptr;
}

std::optional<ZipArchiveInfo> ReadZip(const std::string& bytes, std::string& error) {
  if (bytes.size() < 22) return (error = "too short"), std::nullopt;
  const size_t eocd = bytes.size() - 22;  // no comment is ever written
  Cursor c(bytes, eocd);
  if (c.Read(4) != 0x06054b50) return (error = "no end record"), std::nullopt;
  ZipArchiveInfo info;
  c.Read(2);
  c.Read(2);
  c.Read(2);
  info.eocd_entry_count = c.Read(2);
  uint64_t directory_size = c.Read(4);
  uint64_t directory_offset = c.Read(4);
  info.comment_length = c.Read(2);
  info.entry_count = info.eocd_entry_count;
  if (eocd >= 20) {
    Cursor locator(bytes, eocd - 20);
    if (locator.Read(4) == 0x07064b50) {
      locator.Read(4);
      Cursor record(bytes, locator.Read(8));
      if (record.Read(4) != 0x06064b50) return (error = "bad ZIP64 end record"), std::nullopt;
      info.has_zip64_end = true;
      record.Read(8);
      record.Read(2);
      record.Read(2);
      record.Read(4);
      record.Read(4);
      record.Read(8);
      info.entry_count = record.Read(8);
      directory_size = record.Read(8);
      directory_offset = record.Read(8);
    }
  }
  Cursor d(bytes, directory_offset);
  for (uint64_t i = 0; i < info.entry_count; ++i) {
    ZipEntryInfo entry;
    if (!ReadEntry(bytes, d, entry, error)) return std::nullopt;
    info.entries.push_back(std::move(entry));
  }
  if (d.at() != directory_offset + directory_size) {
    return (error = "central directory size mismatch"), std::nullopt;
  }
  return info;
}

uint32_t Crc32Of(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string Utf8(const std::wstring& text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

}  // namespace velmora::test
