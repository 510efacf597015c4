// Raw deflate (no zlib or gzip wrapper) at level 9, with the CRC-32 of the
// input, fed in pieces through a fixed output buffer.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace velmora {

class RawDeflater {
 public:
  using Sink = std::function<void(const char* data, size_t size)>;

  explicit RawDeflater(Sink sink);
  ~RawDeflater();
  RawDeflater(const RawDeflater&) = delete;
  RawDeflater& operator=(const RawDeflater&) = delete;

  void Feed(const void* data, size_t size);
  void Finish();

  uint32_t crc32() const { return crc_; }
  uint64_t bytes_in() const { return bytes_in_; }
  uint64_t bytes_out() const { return bytes_out_; }

 private:
  void Run(int flush);
  Sink sink_;
  z_stream stream_{};
  std::vector<char> out_;
  uint32_t crc_ = 0;
  uint64_t bytes_in_ = 0;
  uint64_t bytes_out_ = 0;
};

}  // namespace velmora
