#include "common/number_format.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(FormatDuration, EachUnitAtItsBoundary) {
  EXPECT_EQ(FormatDuration(0, L'.'), L"0 ms");
  EXPECT_EQ(FormatDuration(999, L'.'), L"999 ms");
  EXPECT_EQ(FormatDuration(1000, L'.'), L"1.00 s");
  EXPECT_EQ(FormatDuration(5234, L','), L"5,23 s");
  EXPECT_EQ(FormatDuration(59999, L'.'), L"59.99 s");
  EXPECT_EQ(FormatDuration(60000, L'.'), L"1:00 min");
  EXPECT_EQ(FormatDuration(727000, L'.'), L"12:07 min");
  EXPECT_EQ(FormatDuration(3600000, L'.'), L"1:00 h");
  EXPECT_EQ(FormatDuration(7500000, L'.'), L"2:05 h");
}

TEST(FormatDuration, RunTimesBeyondFortyNineDaysKeepCountingHours) {
  // 50 days: more milliseconds than 32 bits hold.
  EXPECT_EQ(FormatDuration(50ull * 24 * 3600000 + 5 * 60000, L'.'), L"1200:05 h");
  EXPECT_EQ(FormatDuration(4294967296ull, L'.'), L"1193:02 h");
}

TEST(FormatByteSize, UnitsAndTruncatedHundredths) {
  EXPECT_EQ(FormatByteSize(0, L'.'), L"0 Bytes");
  EXPECT_EQ(FormatByteSize(1023, L'.'), L"1023 Bytes");
  EXPECT_EQ(FormatByteSize(1024, L'.'), L"1.00 KB");
  EXPECT_EQ(FormatByteSize(1536, L'.'), L"1.50 KB");
  EXPECT_EQ(FormatByteSize(1536, L','), L"1,50 KB");
  EXPECT_EQ(FormatByteSize(1048575, L'.'), L"1023.99 KB");
  EXPECT_EQ(FormatByteSize(1048576, L'.'), L"1.00 MB");
  EXPECT_EQ(FormatByteSize(500105216000ull, L'.'), L"465.75 GB");
  EXPECT_EQ(FormatByteSize(500105216000ull, L','), L"465,75 GB");
  EXPECT_EQ(FormatByteSize(5ull << 40, L'.'), L"5120.00 GB");
}

TEST(DecimalSeparator, FollowsTheLocale) {
  wchar_t buffer[8] = {};
  ::GetLocaleInfoW(::GetThreadLocale(), LOCALE_SDECIMAL, buffer, 8);
  EXPECT_EQ(DecimalSeparator(), buffer[0]);
}

TEST(DecimalSeparator, ASeparatorOutsideAsciiIsReadAsItself) {
  wchar_t saved[8] = {};
  ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved, 8);
  ASSERT_TRUE(::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L"\x066B"));
  const wchar_t separator = ReadDecimalSeparator(LOCALE_USER_DEFAULT);
  ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved);
  EXPECT_EQ(separator, L'\x066B');
  EXPECT_EQ(FormatByteSize(1536, separator),
            L"1\x066B"
            L"50 KB");
}

}  // namespace
}  // namespace velmora
