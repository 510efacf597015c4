#include "common/file_pieces.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/handles.h"
#include "common/no_follow_files.h"

namespace velmora {

bool ReadFileInPieces(HANDLE file, size_t piece_size, const PieceConsumer& consume) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0) return false;
  const uint64_t total = static_cast<uint64_t>(size.QuadPart);
  if (total == 0) return true;
  std::vector<unsigned char> buffer(
      static_cast<size_t>(std::min<uint64_t>(std::max<size_t>(piece_size, 1), total)));
  uint64_t done = 0;
  while (done < total) {
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(buffer.size(), total - done));
    if (!::ReadFile(file, buffer.data(), wanted, &read, nullptr) || read == 0) return false;
    if (!consume(buffer.data(), read)) return false;
    done += read;
  }
  return true;
}

bool ReadInPieces(const std::wstring& path, size_t piece_size,
                  const std::function<void(const unsigned char*, size_t)>& consume) {
  const UniqueHandle file =
      OpenPlainFile(path, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_SEQUENTIAL_SCAN);
  if (!file) return false;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
  return ReadFileInPieces(file.get(), piece_size, [&](const unsigned char* data, size_t bytes) {
    consume(data, bytes);
    return true;
  });
}

}  // namespace velmora
