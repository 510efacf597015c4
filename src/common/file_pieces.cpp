#include "common/file_pieces.h"

#include <algorithm>
#include <cstdint>
#include <vector>

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

}  // namespace velmora
