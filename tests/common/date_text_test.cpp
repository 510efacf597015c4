#include "common/date_text.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/strings.h"

namespace velmora {
namespace {

std::wstring ShortDateOf(const SYSTEMTIME& t) {
  wchar_t buffer[128] = {};
  ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, buffer, 128);
  return buffer;
}

std::wstring LongTimeOf(const SYSTEMTIME& t) {
  wchar_t buffer[128] = {};
  ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &t, nullptr, buffer, 128);
  return buffer;
}

TEST(DateText, MidnightShowsTheDateOnly) {
  SYSTEMTIME midnight = {2024, 1, 3, 31, 0, 0, 0, 0};
  EXPECT_EQ(FormatLocalDateTime(midnight), ShortDateOf(midnight));
  EXPECT_NE(FormatLocalDateTime(midnight).find(L"2024"), std::wstring::npos);
}

TEST(DateText, OtherTimesAddOneBlankAndTheLongTime) {
  SYSTEMTIME one_second_past = {2024, 1, 3, 31, 0, 0, 1, 0};
  EXPECT_EQ(FormatLocalDateTime(one_second_past),
            ShortDateOf(one_second_past) + L" " + LongTimeOf(one_second_past));
  SYSTEMTIME afternoon = {2024, 1, 3, 31, 15, 30, 45, 123};
  const std::wstring text = FormatLocalDateTime(afternoon);
  EXPECT_EQ(text, ShortDateOf(afternoon) + L" " + LongTimeOf(afternoon));
  EXPECT_NE(text.find(L"30"), std::wstring::npos);
}

// Windows refuses dates before 1601, among them the zero date that a file
// whose times cannot be read gets; Wine formats them. A platform that
// refuses everything shows what the program writes itself.
TEST(DateText, WhatThePlatformRefusesIsWrittenInTheSameLayout) {
  const DateTimeFormatters refusing = {[](const SYSTEMTIME&, std::wstring&) { return false; },
                                       [](const SYSTEMTIME&, std::wstring&) { return false; }};
  for (const SYSTEMTIME& t :
       {SYSTEMTIME{2024, 1, 3, 31, 0, 0, 0, 0}, SYSTEMTIME{2023, 7, 2, 4, 15, 30, 45, 0},
        SYSTEMTIME{1999, 12, 5, 3, 9, 5, 0, 0}}) {
    EXPECT_EQ(FormatLocalDateTime(t, refusing), FormatLocalDateTime(t));
  }
  const SYSTEMTIME zero = {1899, 12, 6, 30, 0, 0, 0, 0};
  EXPECT_EQ(FormatLocalDateTime(zero, refusing), ShortDateOf(zero));  // Wine's own text
  EXPECT_EQ(FormatLocalDateTime({2024, 13, 0, 45, 10, 0, 0, 0}, refusing),
            L"13/45/2024 10:00:00 AM");
  // Pictures of other locales, their quoted text and names.
  const SYSTEMTIME t = {2024, 3, 0, 5, 18, 7, 9, 0};
  EXPECT_EQ(ExpandDatePicture(L"dd.MM.yy 'Jahr' yyyy", t), L"05.03.24 Jahr 2024");
  EXPECT_EQ(ExpandDatePicture(L"ddd d MMMM", t), L"Sun 5 March");
  EXPECT_EQ(ExpandTimePicture(L"HH:mm:ss", t), L"18:07:09");
  EXPECT_EQ(ExpandTimePicture(L"h:mm tt", t), L"6:07 PM");
  // The 12-hour clock has no hour 0: midnight and noon are both 12.
  EXPECT_EQ(ExpandTimePicture(L"h:mm tt", {2024, 3, 0, 5, 0, 7, 9, 0}), L"12:07 AM");
  EXPECT_EQ(ExpandTimePicture(L"hh:mm tt", {2024, 3, 0, 5, 12, 7, 9, 0}), L"12:07 PM");
}

}  // namespace
}  // namespace velmora
