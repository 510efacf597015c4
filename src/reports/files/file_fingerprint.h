// The fingerprint that the reports print for a file: its fixed file version,
// the MD5 digest of its content and the local time of a file event.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/handles.h"

namespace velmora {

// The buffer through which a file is read for hashing: large enough that the
// system reads ahead in big pieces, small enough for a crowded 32-bit process.
constexpr size_t kMd5PieceSize = 1 << 20;

// The digest text (32 lower-case hexadecimal digits) of the whole file, read
// in pieces of at most `piece_size` bytes. A file that cannot be opened or read
// to its end, and an empty file, give the digest of no input.
std::wstring GetFileMd5(const std::wstring& path, size_t piece_size = kMd5PieceSize);

// "a.b.c.d" from the file version of the fixed version information; empty when
// the file has none.
std::wstring GetFixedFileVersion(const std::wstring& path);

// The same for the file held open by `file` and named `path`: empty unless the
// name still leads to that very file, since the version library reads by name.
std::wstring GetFixedFileVersion(HANDLE file, const std::wstring& path);

// The file `name` in the open `folder` (one that a walk holds), opened for
// reading relative to the folder's handle without following a link at the
// name, and held so that it can be neither renamed nor replaced meanwhile.
UniqueHandle OpenFileToFingerprint(HANDLE folder, const std::wstring& name);

// Whether the version library can find a version resource in a file of
// `file_size` bytes that starts with `head`: a module compressed for setup
// ("SZDD"), or one that starts with "MZ" and whose DOS header points to the
// header of a module (PE, NE, LE or LX) inside the file, or to a place in it
// beyond `head`. Anything else holds no resource that the library reads;
// asking it would cost a failed load of the file as a module.
bool MayHoldVersionResource(std::string_view head, uint64_t file_size);

struct FileFingerprint {
  std::wstring version;  // as GetFixedFileVersion gives it
  std::wstring md5;      // as GetFileMd5 gives it
};

// The version and digest of a file. While a FileFingerprintCache lives (one
// per report), each file is read once: the files report and the listing of
// the installations name the same program files. (The services report reads
// its files with WOW64 redirection off, where the same path can name another
// file: it reads them itself.) Read from the file held open by `file` (from
// OpenFileToFingerprint; an invalid handle reads as an unreadable file);
// `path` names it for the cache and the version library. Whatever a folder on the path is swapped
// for meanwhile, the digest is the held file's.
FileFingerprint GetFileFingerprint(HANDLE file, const std::wstring& path);

// The same for the file `name` in the open `folder`, known as `path`: opened
// only when the fingerprint is not kept yet.
FileFingerprint GetFileFingerprintIn(HANDLE folder, const std::wstring& name,
                                     const std::wstring& path);

// Keeps the fingerprints read while it lives, by path (letter case aside).
// Used on the report's worker thread only.
class FileFingerprintCache {
 public:
  FileFingerprintCache();
  ~FileFingerprintCache();
  FileFingerprintCache(const FileFingerprintCache&) = delete;
  FileFingerprintCache& operator=(const FileFingerprintCache&) = delete;

 private:
  std::unordered_map<std::wstring, FileFingerprint> fingerprints_;
  template <typename Read>
  friend FileFingerprint CachedFingerprint(const std::wstring& path, Read read);
};

enum class FileTimeKind { kCreation = 0, kLastWrite = 1, kLastAccess = 2 };

// The zero date-time value: 30 December 1899, 00:00:00.000.
constexpr SYSTEMTIME kZeroDateTime = {1899, 12, 6, 30, 0, 0, 0, 0};

// The file's time of that kind as local calendar time (with the time-zone
// offset in force now); kZeroDateTime when it cannot be read.
SYSTEMTIME GetFileTimeLocal(const std::wstring& path, FileTimeKind which);

// The same for an open file; kZeroDateTime for an invalid handle.
SYSTEMTIME GetFileTimeLocal(HANDLE file, FileTimeKind which);

}  // namespace velmora
