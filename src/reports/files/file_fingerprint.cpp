#include "reports/files/file_fingerprint.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/file_pieces.h"
#include "common/no_follow_files.h"
#include "common/strings.h"
#include "environment/version_resource.h"
#include "reports/files/md5.h"

namespace velmora {

namespace {

// The file's digest and its first bytes, from one read.
struct FileContent {
  std::wstring md5;
  std::string head;
  uint64_t size = 0;   // bytes read
  bool whole = false;  // read to its end
};

// Enough for the DOS header and, in the modules that linkers write, the
// module header that it points to.
constexpr size_t kHeadSize = 4096;

// Read, not mapped: a read error on a mapped view of a file on a network
// share or failing disk is a fault that would end the program, and reading
// through one buffer is also faster than touching the pages of a mapping.
FileContent ReadFileContent(HANDLE file, size_t piece_size) {
  FileContent content;
  Md5Context context;
  Md5Init(context);
  content.whole = file != nullptr &&
                  ReadFileInPieces(file, piece_size, [&](const unsigned char* data, size_t size) {
                    if (content.head.size() < kHeadSize) {
                      content.head.append(reinterpret_cast<const char*>(data),
                                          std::min(size, kHeadSize - content.head.size()));
                    }
                    Md5Update(context, data, size);
                    content.size += size;
                    return true;
                  });
  // A read that fails part-way would leave the digest of a part of the file,
  // which no reader could tell from the real one: such a file counts as
  // unreadable instead.
  if (!content.whole) Md5Init(context);
  uint8_t digest[kMd5DigestSize];
  Md5Final(context, digest);
  content.md5 = Md5DigestText(digest);
  return content;
}

constexpr DWORD kReadSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

UniqueHandle OpenToRead(const std::wstring& path) {
  return OpenPlainFile(path, kReadSharing, FILE_FLAG_SEQUENTIAL_SCAN);
}

std::wstring VersionTextOf(const std::wstring& path) {
  const std::optional<VersionResource> resource = ReadVersionResource(path);
  return resource && resource->fixed ? FixedVersionText(*resource->fixed) : std::wstring();
}

}  // namespace

bool MayHoldVersionResource(std::string_view head, uint64_t file_size) {
  if (head.starts_with("SZDD")) return true;
  if (!head.starts_with("MZ")) return false;
  constexpr size_t kDosHeaderSize = 64, kNewHeaderOffsetAt = 0x3C, kSignatureSize = 2;
  if (file_size < kDosHeaderSize || head.size() < kDosHeaderSize) return false;
  uint32_t new_header = 0;
  std::memcpy(&new_header, head.data() + kNewHeaderOffsetAt, sizeof(new_header));
  if (new_header + uint64_t{kSignatureSize} > file_size) return false;
  // A header beyond the head is still the library's to look for.
  if (new_header + kSignatureSize > head.size()) return true;
  const std::string_view signature = head.substr(new_header, kSignatureSize);
  return signature == "PE" || signature == "NE" || signature == "LE" || signature == "LX";
}

std::wstring GetFileMd5(const std::wstring& path, size_t piece_size) {
  return ReadFileContent(OpenToRead(path).get(), piece_size).md5;
}

std::wstring GetFixedFileVersion(const std::wstring& path) {
  // The version calls open the file by its name and would follow a link
  // there: the name is checked on a handle held while they read, which keeps
  // it from being renamed away or replaced meanwhile (no delete sharing).
  const UniqueHandle held = OpenPlainFile(path, kReadSharing);
  if (!held) return {};
  return VersionTextOf(path);
}

std::wstring GetFixedFileVersion(HANDLE file, const std::wstring& path) {
  // The version calls take only a name. While `file` is held (no delete
  // sharing) it can be neither renamed nor replaced; the name is asked only
  // when it leads to that very file, and not through a folder swapped since.
  const UniqueHandle named = OpenPlainFile(path, kReadSharing);
  if (!named || !IsSameFile(named.get(), file)) return {};
  std::wstring version = VersionTextOf(path);
  // While `named` is open, Windows refuses to rename the folders on its way
  // (a folder with an open file below it cannot be renamed); the name is
  // checked once more after the library has read, for systems that allow it.
  const UniqueHandle after = OpenPlainFile(path, kReadSharing);
  if (!after || !IsSameFile(after.get(), file)) return {};
  return version;
}

UniqueHandle OpenFileToFingerprint(HANDLE folder, const std::wstring& name) {
  return OpenPlainFileIn(folder, name, kReadSharing, FILE_FLAG_SEQUENTIAL_SCAN);
}

namespace {

FileFingerprintCache* g_cache = nullptr;

// The version library tries to load each file it is asked about, which costs
// more than reading a small file: an installation's data files (help pages,
// images, translations, logs) are not handed to it, nor files that start
// like a program without being one. A file that could be opened but not read
// to its end is, since the library opens files in its own way.
FileFingerprint ReadFileFingerprint(HANDLE file, const std::wstring& path) {
  FileContent content = ReadFileContent(file, kMd5PieceSize);
  const bool ask_version =
      file != nullptr && (!content.whole || MayHoldVersionResource(content.head, content.size));
  return {ask_version ? GetFixedFileVersion(file, path) : std::wstring(), std::move(content.md5)};
}

}  // namespace

// The fingerprint kept for `path`, or the one `read` gives, then kept.
template <typename Read>
FileFingerprint CachedFingerprint(const std::wstring& path, Read read) {
  if (g_cache == nullptr) return read();
  const std::wstring key = ToLower(path);
  const auto found = g_cache->fingerprints_.find(key);
  if (found != g_cache->fingerprints_.end()) return found->second;
  return g_cache->fingerprints_.emplace(key, read()).first->second;
}

FileFingerprintCache::FileFingerprintCache() {
  g_cache = this;
}

FileFingerprintCache::~FileFingerprintCache() {
  g_cache = nullptr;
}

FileFingerprint GetFileFingerprint(HANDLE file, const std::wstring& path) {
  return CachedFingerprint(path, [&] { return ReadFileFingerprint(file, path); });
}

FileFingerprint GetFileFingerprintIn(HANDLE folder, const std::wstring& name,
                                     const std::wstring& path) {
  return CachedFingerprint(
      path, [&] { return ReadFileFingerprint(OpenFileToFingerprint(folder, name).get(), path); });
}

namespace {

SYSTEMTIME LocalTimeOf(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME time;
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &time)) {
    return kZeroDateTime;
  }
  return time;
}

}  // namespace

SYSTEMTIME GetFileTimeLocal(const std::wstring& path, FileTimeKind which) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(ExtendedLengthPath(path).c_str(), GetFileExInfoStandard, &data)) {
    return kZeroDateTime;
  }
  return LocalTimeOf(which == FileTimeKind::kCreation    ? data.ftCreationTime
                     : which == FileTimeKind::kLastWrite ? data.ftLastWriteTime
                                                         : data.ftLastAccessTime);
}

SYSTEMTIME GetFileTimeLocal(HANDLE file, FileTimeKind which) {
  FILETIME created, accessed, written;
  if (file == nullptr || !::GetFileTime(file, &created, &accessed, &written)) return kZeroDateTime;
  return LocalTimeOf(which == FileTimeKind::kCreation    ? created
                     : which == FileTimeKind::kLastWrite ? written
                                                         : accessed);
}

}  // namespace velmora
