// Reads a whole file through one bounded buffer, piece by piece, so that files
// of any size need no more memory than the buffer.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace velmora {

// Hands every piece of the file to `consume` in order. False when the file
// cannot be opened, is empty, or a read fails before its end. Unlike a
// mapped view, a read error (a network file that goes away, a bad sector)
// arrives here as a failed call, not as a fault that would end the program.
bool ReadInPieces(const std::wstring& path, size_t piece_size,
                  const std::function<void(const unsigned char*, size_t)>& consume);

}  // namespace velmora
