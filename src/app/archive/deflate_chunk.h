// One piece of a file deflated on its own, so that pieces can be deflated in
// parallel and joined into one raw deflate stream (RFC 1951): each piece is
// primed with the 32 KiB that precede it and ends on a byte boundary with a
// sync flush; only the file's last piece ends the stream.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

constexpr size_t kDeflateWindow = 32 * 1024;

struct DeflatedChunk {
  std::string compressed;
  uint32_t crc32 = 0;  // of this piece's input alone
};

// `dictionary`: up to the last 32 KiB of the input before this piece (empty for the first).
DeflatedChunk DeflateChunk(const std::string& dictionary, const std::string& data, bool last);

// The CRC-32 of two pieces one after the other.
uint32_t CombineCrc32(uint32_t first, uint32_t second, uint64_t second_length);

}  // namespace velmora
