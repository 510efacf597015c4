#include "reports/files/file_fingerprint.h"

#include <vector>

#include "common/mapped_file.h"
#include "common/strings.h"
#include "reports/files/md5.h"

namespace velmora {

std::wstring GetFileMd5(const std::wstring& path, size_t view_size) {
  Md5Context context;
  Md5Init(context);
  const bool whole = ReadThroughMapping(
      path, view_size,
      [&](const unsigned char* data, size_t size) { Md5Update(context, data, size); });
  // A view that fails part-way would leave the digest of a part of the file,
  // which no reader could tell from the real one: such a file counts as
  // unreadable instead.
  if (!whole) Md5Init(context);
  uint8_t digest[kMd5DigestSize];
  Md5Final(context, digest);
  return Md5DigestText(digest);
}

std::wstring GetFixedFileVersion(const std::wstring& path) {
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return {};
  std::vector<BYTE> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(data.data(), L"\\", &value, &length) || value == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  return Format(L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
}

SYSTEMTIME GetFileTimeLocal(const std::wstring& path, FileTimeKind which) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return kZeroDateTime;
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
