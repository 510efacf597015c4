#include "common/file_pieces.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/handles.h"

namespace velmora {

bool ReadInPieces(const std::wstring& path, size_t piece_size,
                  const std::function<void(const unsigned char*, size_t)>& consume) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
  const uint64_t total = static_cast<uint64_t>(size.QuadPart);
  std::vector<unsigned char> buffer(static_cast<size_t>(std::min<uint64_t>(piece_size, total)));
  uint64_t done = 0;
  while (done < total) {
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(buffer.size(), total - done));
    if (!::ReadFile(file.get(), buffer.data(), wanted, &read, nullptr) || read == 0) return false;
    consume(buffer.data(), read);
    done += read;
  }
  return true;
}

}  // namespace velmora
