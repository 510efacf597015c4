// Reads a whole file through one bounded buffer, piece by piece, so that files
// of any size need no more memory than the buffer.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>

namespace velmora {

using PieceConsumer = std::function<bool(const unsigned char*, size_t)>;

// Hands every piece of an opened file to `consume` in order, from its start
// up to the size it had when the read began. False when a read fails before
// that end or `consume` refuses a piece. Unlike a mapped view, a read error
// (a network file that goes away, a bad sector) arrives here as a failed
// call, not as a fault that would end the program. An empty file succeeds.
bool ReadFileInPieces(HANDLE file, size_t piece_size, const PieceConsumer& consume);

}  // namespace velmora
