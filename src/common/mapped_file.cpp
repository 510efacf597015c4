#include "common/mapped_file.h"

#include <windows.h>

#include <algorithm>

#include "common/handles.h"

namespace velmora {

bool ReadThroughMapping(const std::wstring& path, size_t piece_size,
                        const std::function<void(const unsigned char*, size_t)>& consume) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
  UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return false;
  const uint64_t total = static_cast<uint64_t>(size.QuadPart);
  for (uint64_t offset = 0; offset < total; offset += piece_size) {
    const size_t length = static_cast<size_t>(std::min<uint64_t>(piece_size, total - offset));
    UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ,
                                          static_cast<DWORD>(offset >> 32),
                                          static_cast<DWORD>(offset & 0xFFFFFFFF), length));
    if (!view) return false;
    consume(static_cast<const unsigned char*>(view.get()), length);
  }
  return true;
}

}  // namespace velmora
