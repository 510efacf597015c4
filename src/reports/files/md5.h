// The MD5 message digest (RFC 1321): the fingerprint that the reports print
// for program files. Free of Windows headers so that the benchmark can build
// the very same code for the machine it runs on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

struct Md5Context {
  uint32_t state[4];
  // Count of input bits modulo 2^64, low half first.
  uint32_t count[2];
  uint8_t buffer[64];
};

constexpr size_t kMd5DigestSize = 16;

void Md5Init(Md5Context& context);
void Md5Update(Md5Context& context, const void* data, size_t size);
// Pads, writes the digest and wipes the context, which must be initialised
// again before any further use.
void Md5Final(Md5Context& context, uint8_t (&digest)[kMd5DigestSize]);

// The 16 digest bytes as 32 lower-case hexadecimal digits.
std::wstring Md5DigestText(const uint8_t (&digest)[kMd5DigestSize]);
// The digest text of a piece of memory.
std::wstring Md5Text(const void* data, size_t size);

}  // namespace velmora
