// The fingerprint that the reports print for a file: its fixed file version,
// the MD5 digest of its content and the local time of a file event.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace velmora {

// The size of the window through which a file is mapped for hashing. A
// multiple of the allocation granularity (64 KiB) and small enough to find
// room in a crowded 32-bit address space.
constexpr size_t kMd5ViewSize = 16 << 20;

// The digest text (32 lower-case hexadecimal digits) of the whole file, read
// through a sliding view of at most `view_size` bytes. A file that cannot be
// opened or read to its end, and an empty file, give the digest of no input.
std::wstring GetFileMd5(const std::wstring& path, size_t view_size = kMd5ViewSize);

// "a.b.c.d" from the file version of the fixed version information; empty when
// the file has none.
std::wstring GetFixedFileVersion(const std::wstring& path);

enum class FileTimeKind { kCreation = 0, kLastWrite = 1, kLastAccess = 2 };

// The zero date-time value: 30 December 1899, 00:00:00.000.
constexpr SYSTEMTIME kZeroDateTime = {1899, 12, 6, 30, 0, 0, 0, 0};

// The file's time of that kind as local calendar time (with the time-zone
// offset in force now); kZeroDateTime when it cannot be read.
SYSTEMTIME GetFileTimeLocal(const std::wstring& path, FileTimeKind which);

}  // namespace velmora
