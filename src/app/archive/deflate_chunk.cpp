#include "app/archive/deflate_chunk.h"

#include <zlib.h>

#include <stdexcept>

namespace velmora {

namespace {
constexpr int kRawDeflateWindowBits = -15;  // negative: no zlib header or trailer
constexpr int kMemoryLevel = 9;             // the largest hash table: the smallest output
}  // namespace

DeflatedChunk DeflateChunk(const std::string& dictionary, const std::string& data, bool last) {
  z_stream stream = {};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, kRawDeflateWindowBits, kMemoryLevel,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflate could not be set up");
  }
  DeflatedChunk chunk;
  if (!dictionary.empty()) {
    deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(dictionary.data()),
                         static_cast<uInt>(dictionary.size()));
  }
  // Room for the worst case and the flush markers, so one call does it all.
  chunk.compressed.resize(deflateBound(&stream, static_cast<uLong>(data.size())) + 64);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(chunk.compressed.data());
  stream.avail_out = static_cast<uInt>(chunk.compressed.size());
  const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
  const bool complete = stream.avail_out > 0 && stream.avail_in == 0 &&
                        (last ? result == Z_STREAM_END : result == Z_OK);
  chunk.compressed.resize(stream.total_out);
  deflateEnd(&stream);
  if (!complete) throw std::runtime_error("deflate failed");
  chunk.crc32 = static_cast<uint32_t>(
      ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uInt>(data.size())));
  return chunk;
}

uint32_t CombineCrc32(uint32_t first, uint32_t second, uint64_t second_length) {
  return static_cast<uint32_t>(
      crc32_combine(first, second, static_cast<z_off_t>(second_length)));
}

}  // namespace velmora
