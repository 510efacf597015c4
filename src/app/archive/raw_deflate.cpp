#include "app/archive/raw_deflate.h"

#include <algorithm>
#include <stdexcept>

namespace velmora {

namespace {
constexpr size_t kOutputBufferSize = 256 * 1024;
constexpr int kRawDeflateWindowBits = -15;  // negative: no zlib header or trailer
constexpr int kMemoryLevel = 8;
}  // namespace

RawDeflater::RawDeflater(Sink sink) : sink_(std::move(sink)), out_(kOutputBufferSize) {
  if (deflateInit2(&stream_, Z_BEST_COMPRESSION, Z_DEFLATED, kRawDeflateWindowBits, kMemoryLevel,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflate could not be set up");
  }
  crc_ = static_cast<uint32_t>(::crc32(0L, Z_NULL, 0));
}

RawDeflater::~RawDeflater() { deflateEnd(&stream_); }

void RawDeflater::Feed(const void* data, size_t size) {
  const auto* bytes = static_cast<const Bytef*>(data);
  while (size > 0) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
    crc_ = static_cast<uint32_t>(::crc32(crc_, bytes, piece));
    stream_.next_in = const_cast<Bytef*>(bytes);
    stream_.avail_in = piece;
    Run(Z_NO_FLUSH);
    bytes_in_ += piece;
    bytes += piece;
    size -= piece;
  }
}

void RawDeflater::Finish() {
  stream_.next_in = nullptr;
  stream_.avail_in = 0;
  Run(Z_FINISH);
}

void RawDeflater::Run(int flush) {
  for (;;) {
    stream_.next_out = reinterpret_cast<Bytef*>(out_.data());
    stream_.avail_out = static_cast<uInt>(out_.size());
    const int result = deflate(&stream_, flush);
    if (result == Z_STREAM_ERROR) throw std::runtime_error("deflate failed");
    const size_t produced = out_.size() - stream_.avail_out;
    if (produced > 0) {
      sink_(out_.data(), produced);
      bytes_out_ += produced;
    }
    if (flush == Z_FINISH ? result == Z_STREAM_END
                          : stream_.avail_in == 0 && stream_.avail_out != 0) {
      return;
    }
  }
}

}  // namespace velmora
