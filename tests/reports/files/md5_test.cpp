#include "reports/files/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

std::wstring DigestOf(const std::string& text) {
  return Md5Text(text.data(), text.size());
}

// The test suite of RFC 1321, appendix A.5.
TEST(Md5, ReferenceSuite) {
  EXPECT_EQ(DigestOf(""), L"d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(DigestOf("a"), L"0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(DigestOf("abc"), L"900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(DigestOf("message digest"), L"f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(DigestOf("abcdefghijklmnopqrstuvwxyz"), L"c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(DigestOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            L"d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(DigestOf("1234567890123456789012345678901234567890123456789012345678901234567890"
                     "1234567890"),
            L"57edf4a22be3c955ac49da2e2107b67a");
}

// Lengths around the padding boundaries (55, 56, 63, 64, 65 bytes), digests
// from md5sum.
TEST(Md5, PaddingBoundaries) {
  EXPECT_EQ(DigestOf(std::string(55, 'x')), L"04364420e25c512fd958a70738aa8f72");
  EXPECT_EQ(DigestOf(std::string(56, 'x')), L"668a72d5ba17f08e62dabcafad6db14b");
  EXPECT_EQ(DigestOf(std::string(63, 'x')), L"7dc2ca208106a2f703567bdff99d8981");
  EXPECT_EQ(DigestOf(std::string(64, 'x')), L"c1bb4f81d892b2d57947682aeb252456");
  EXPECT_EQ(DigestOf(std::string(65, 'x')), L"1bc932052302d074bdec39795fe00cf6");
}

TEST(Md5, PiecesOfAnySizeGiveTheSameDigest) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 37 + (i >> 3)));
  const std::wstring whole = DigestOf(data);
  for (size_t piece : {1u, 3u, 63u, 64u, 65u, 127u, 500u}) {
    Md5Context context;
    Md5Init(context);
    for (size_t at = 0; at < data.size(); at += piece) {
      Md5Update(context, data.data() + at, std::min(piece, data.size() - at));
    }
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    EXPECT_EQ(Md5DigestText(digest), whole) << piece;
  }
}

TEST(Md5, FinalWipesTheContext) {
  Md5Context context;
  Md5Init(context);
  Md5Update(context, "secret settings", 15);
  uint8_t digest[kMd5DigestSize];
  Md5Final(context, digest);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&context);
  for (size_t i = 0; i < sizeof(context); ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST(Md5, DigestTextIsThirtyTwoLowerCaseDigitsHighNibbleFirst) {
  const uint8_t digest[kMd5DigestSize] = {0x00, 0x01, 0x0a, 0xf0, 0xff, 0x10, 0x9b, 0xc4,
                                          0x5d, 0xe6, 0x27, 0x38, 0x49, 0x5a, 0x6b, 0x7c};
  EXPECT_EQ(Md5DigestText(digest), L"00010af0ff109bc45de62738495a6b7c");
}

}  // namespace
}  // namespace velmora
