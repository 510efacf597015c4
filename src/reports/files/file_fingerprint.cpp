#include "reports/files/file_fingerprint.h"

#include <vector>

#include "common/file_pieces.h"
#include "common/no_follow_files.h"
#include "common/strings.h"
#include "environment/version_resource.h"
#include "reports/files/md5.h"

namespace velmora {

// Read, not mapped: a read error on a mapped view of a file on a network
// share or failing disk is a fault that would end the program, and reading
// through one buffer is also faster than touching the pages of a mapping.
std::wstring GetFileMd5(const std::wstring& path, size_t piece_size) {
  Md5Context context;
  Md5Init(context);
  const bool whole = ReadInPieces(path, piece_size, [&](const unsigned char* data, size_t size) {
    Md5Update(context, data, size);
  });
  // A read that fails part-way would leave the digest of a part of the file,
  // which no reader could tell from the real one: such a file counts as
  // unreadable instead.
  if (!whole) Md5Init(context);
  uint8_t digest[kMd5DigestSize];
  Md5Final(context, digest);
  return Md5DigestText(digest);
}

std::wstring GetFixedFileVersion(const std::wstring& path) {
  // The version calls open the file by its name and would follow a link there.
  if (!IsPlainFile(path)) return {};
  const std::optional<VersionResource> resource = ReadVersionResource(path);
  return resource && resource->fixed ? FixedVersionText(*resource->fixed) : std::wstring();
}

namespace {

FileFingerprintCache* g_cache = nullptr;

}  // namespace

FileFingerprintCache::FileFingerprintCache() {
  g_cache = this;
}

FileFingerprintCache::~FileFingerprintCache() {
  g_cache = nullptr;
}

FileFingerprint GetFileFingerprint(const std::wstring& path) {
  if (g_cache == nullptr) return {GetFixedFileVersion(path), GetFileMd5(path)};
  const std::wstring key = ToLower(path);
  const auto found = g_cache->fingerprints_.find(key);
  if (found != g_cache->fingerprints_.end()) return found->second;
  return g_cache->fingerprints_
      .emplace(key, FileFingerprint{GetFixedFileVersion(path), GetFileMd5(path)})
      .first->second;
}

SYSTEMTIME GetFileTimeLocal(const std::wstring& path, FileTimeKind which) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(ExtendedLengthPath(path).c_str(), GetFileExInfoStandard, &data)) {
    return kZeroDateTime;
  }
  const FILETIME& utc = which == FileTimeKind::kCreation    ? data.ftCreationTime
                        : which == FileTimeKind::kLastWrite ? data.ftLastWriteTime
                                                            : data.ftLastAccessTime;
  FILETIME local;
  SYSTEMTIME time;
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &time)) {
    return kZeroDateTime;
  }
  return time;
}

}  // namespace velmora
