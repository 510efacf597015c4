#include "reports/files/md5.h"

#include <cstring>

namespace velmora {

namespace {

// Assembled byte by byte so that the code is right on any byte order; the
// compiler turns it into one load on little-endian machines.
inline uint32_t LoadLittleEndian(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreLittleEndian(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

inline uint32_t RotateLeft(uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

// The four round functions, each written so that the newest chaining value
// (b) enters as late as possible: everything that depends only on c and d can
// start before b is known, which is what sets the speed of this serial hash.
//
// F = (b & c) | (~b & d), the same as d ^ (b & (c ^ d)).
// G = (b & d) | (c & ~d); the two halves share no bits, so they can be added
//     to the sum separately instead of being joined first.
// H = b ^ c ^ d.  I = c ^ (b | ~d).
#define VELMORA_MD5_F(a, b, c, d, x, t, s) \
  a += (x) + (t);                          \
  a += (d) ^ ((b) & ((c) ^ (d)));          \
  a = RotateLeft(a, s) + (b)

#define VELMORA_MD5_G(a, b, c, d, x, t, s) \
  a += (x) + (t);                          \
  a += (c) & ~(d);                         \
  a += (b) & (d);                          \
  a = RotateLeft(a, s) + (b)

#define VELMORA_MD5_H(a, b, c, d, x, t, s) \
  a += (x) + (t);                          \
  a += (b) ^ (c) ^ (d);                    \
  a = RotateLeft(a, s) + (b)

#define VELMORA_MD5_I(a, b, c, d, x, t, s) \
  a += (x) + (t);                          \
  a += (c) ^ ((b) | ~(d));                 \
  a = RotateLeft(a, s) + (b)

// Runs the compression function over whole 64-byte blocks, keeping the
// chaining values in registers from one block to the next.
void ProcessBlocks(uint32_t (&state)[4], const uint8_t* data, size_t blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks != 0; --blocks, data += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian(data + 4 * i);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    VELMORA_MD5_F(a, b, c, d, x[0], 0xd76aa478, 7);
    VELMORA_MD5_F(d, a, b, c, x[1], 0xe8c7b756, 12);
    VELMORA_MD5_F(c, d, a, b, x[2], 0x242070db, 17);
    VELMORA_MD5_F(b, c, d, a, x[3], 0xc1bdceee, 22);
    VELMORA_MD5_F(a, b, c, d, x[4], 0xf57c0faf, 7);
    VELMORA_MD5_F(d, a, b, c, x[5], 0x4787c62a, 12);
    VELMORA_MD5_F(c, d, a, b, x[6], 0xa8304613, 17);
    VELMORA_MD5_F(b, c, d, a, x[7], 0xfd469501, 22);
    VELMORA_MD5_F(a, b, c, d, x[8], 0x698098d8, 7);
    VELMORA_MD5_F(d, a, b, c, x[9], 0x8b44f7af, 12);
    VELMORA_MD5_F(c, d, a, b, x[10], 0xffff5bb1, 17);
    VELMORA_MD5_F(b, c, d, a, x[11], 0x895cd7be, 22);
    VELMORA_MD5_F(a, b, c, d, x[12], 0x6b901122, 7);
    VELMORA_MD5_F(d, a, b, c, x[13], 0xfd987193, 12);
    VELMORA_MD5_F(c, d, a, b, x[14], 0xa679438e, 17);
    VELMORA_MD5_F(b, c, d, a, x[15], 0x49b40821, 22);

    VELMORA_MD5_G(a, b, c, d, x[1], 0xf61e2562, 5);
    VELMORA_MD5_G(d, a, b, c, x[6], 0xc040b340, 9);
    VELMORA_MD5_G(c, d, a, b, x[11], 0x265e5a51, 14);
    VELMORA_MD5_G(b, c, d, a, x[0], 0xe9b6c7aa, 20);
    VELMORA_MD5_G(a, b, c, d, x[5], 0xd62f105d, 5);
    VELMORA_MD5_G(d, a, b, c, x[10], 0x02441453, 9);
    VELMORA_MD5_G(c, d, a, b, x[15], 0xd8a1e681, 14);
    VELMORA_MD5_G(b, c, d, a, x[4], 0xe7d3fbc8, 20);
    VELMORA_MD5_G(a, b, c, d, x[9], 0x21e1cde6, 5);
    VELMORA_MD5_G(d, a, b, c, x[14], 0xc33707d6, 9);
    VELMORA_MD5_G(c, d, a, b, x[3], 0xf4d50d87, 14);
    VELMORA_MD5_G(b, c, d, a, x[8], 0x455a14ed, 20);
    VELMORA_MD5_G(a, b, c, d, x[13], 0xa9e3e905, 5);
    VELMORA_MD5_G(d, a, b, c, x[2], 0xfcefa3f8, 9);
    VELMORA_MD5_G(c, d, a, b, x[7], 0x676f02d9, 14);
    VELMORA_MD5_G(b, c, d, a, x[12], 0x8d2a4c8a, 20);

    VELMORA_MD5_H(a, b, c, d, x[5], 0xfffa3942, 4);
    VELMORA_MD5_H(d, a, b, c, x[8], 0x8771f681, 11);
    VELMORA_MD5_H(c, d, a, b, x[11], 0x6d9d6122, 16);
    VELMORA_MD5_H(b, c, d, a, x[14], 0xfde5380c, 23);
    VELMORA_MD5_H(a, b, c, d, x[1], 0xa4beea44, 4);
    VELMORA_MD5_H(d, a, b, c, x[4], 0x4bdecfa9, 11);
    VELMORA_MD5_H(c, d, a, b, x[7], 0xf6bb4b60, 16);
    VELMORA_MD5_H(b, c, d, a, x[10], 0xbebfbc70, 23);
    VELMORA_MD5_H(a, b, c, d, x[13], 0x289b7ec6, 4);
    VELMORA_MD5_H(d, a, b, c, x[0], 0xeaa127fa, 11);
    VELMORA_MD5_H(c, d, a, b, x[3], 0xd4ef3085, 16);
    VELMORA_MD5_H(b, c, d, a, x[6], 0x04881d05, 23);
    VELMORA_MD5_H(a, b, c, d, x[9], 0xd9d4d039, 4);
    VELMORA_MD5_H(d, a, b, c, x[12], 0xe6db99e5, 11);
    VELMORA_MD5_H(c, d, a, b, x[15], 0x1fa27cf8, 16);
    VELMORA_MD5_H(b, c, d, a, x[2], 0xc4ac5665, 23);

    VELMORA_MD5_I(a, b, c, d, x[0], 0xf4292244, 6);
    VELMORA_MD5_I(d, a, b, c, x[7], 0x432aff97, 10);
    VELMORA_MD5_I(c, d, a, b, x[14], 0xab9423a7, 15);
    VELMORA_MD5_I(b, c, d, a, x[5], 0xfc93a039, 21);
    VELMORA_MD5_I(a, b, c, d, x[12], 0x655b59c3, 6);
    VELMORA_MD5_I(d, a, b, c, x[3], 0x8f0ccc92, 10);
    VELMORA_MD5_I(c, d, a, b, x[10], 0xffeff47d, 15);
    VELMORA_MD5_I(b, c, d, a, x[1], 0x85845dd1, 21);
    VELMORA_MD5_I(a, b, c, d, x[8], 0x6fa87e4f, 6);
    VELMORA_MD5_I(d, a, b, c, x[15], 0xfe2ce6e0, 10);
    VELMORA_MD5_I(c, d, a, b, x[6], 0xa3014314, 15);
    VELMORA_MD5_I(b, c, d, a, x[13], 0x4e0811a1, 21);
    VELMORA_MD5_I(a, b, c, d, x[4], 0xf7537e82, 6);
    VELMORA_MD5_I(d, a, b, c, x[11], 0xbd3af235, 10);
    VELMORA_MD5_I(c, d, a, b, x[2], 0x2ad7d2bb, 15);
    VELMORA_MD5_I(b, c, d, a, x[9], 0xeb86d391, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef VELMORA_MD5_F
#undef VELMORA_MD5_G
#undef VELMORA_MD5_H
#undef VELMORA_MD5_I

// Clears memory in a way the compiler may not drop as a dead store.
void Wipe(void* memory, size_t size) {
  volatile uint8_t* p = static_cast<volatile uint8_t*>(memory);
  while (size-- != 0) *p++ = 0;
}

}  // namespace

void Md5Init(Md5Context& context) {
  context.state[0] = 0x67452301;
  context.state[1] = 0xefcdab89;
  context.state[2] = 0x98badcfe;
  context.state[3] = 0x10325476;
  context.count[0] = context.count[1] = 0;
  std::memset(context.buffer, 0, sizeof(context.buffer));
}

void Md5Update(Md5Context& context, const void* data, size_t size) {
  const uint8_t* input = static_cast<const uint8_t*>(data);
  size_t used = (context.count[0] >> 3) & 63;
  // The bit count is kept modulo 2^64, as the padding records it.
  const uint64_t bits = (static_cast<uint64_t>(context.count[1]) << 32 | context.count[0]) +
                        (static_cast<uint64_t>(size) << 3);
  context.count[0] = static_cast<uint32_t>(bits);
  context.count[1] = static_cast<uint32_t>(bits >> 32);

  if (used != 0) {
    const size_t take = size < 64 - used ? size : 64 - used;
    std::memcpy(context.buffer + used, input, take);
    used += take;
    input += take;
    size -= take;
    if (used < 64) return;
    ProcessBlocks(context.state, context.buffer, 1);
  }
  ProcessBlocks(context.state, input, size / 64);
  input += size / 64 * 64;
  std::memcpy(context.buffer, input, size % 64);
}

void Md5Final(Md5Context& context, uint8_t (&digest)[kMd5DigestSize]) {
  uint8_t length[8];
  StoreLittleEndian(length, context.count[0]);
  StoreLittleEndian(length + 4, context.count[1]);
  // A one bit, then zeros up to 56 bytes modulo 64, then the length.
  static const uint8_t kPadding[64] = {0x80};
  const size_t used = (context.count[0] >> 3) & 63;
  Md5Update(context, kPadding, used < 56 ? 56 - used : 120 - used);
  Md5Update(context, length, sizeof(length));
  for (int i = 0; i < 4; ++i) StoreLittleEndian(digest + 4 * i, context.state[i]);
  Wipe(&context, sizeof(context));
}

std::wstring Md5DigestText(const uint8_t (&digest)[kMd5DigestSize]) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  text.reserve(2 * kMd5DigestSize);
  for (uint8_t byte : digest) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

std::wstring Md5Text(const void* data, size_t size) {
  Md5Context context;
  Md5Init(context);
  Md5Update(context, data, size);
  uint8_t digest[kMd5DigestSize];
  Md5Final(context, digest);
  return Md5DigestText(digest);
}

}  // namespace velmora
