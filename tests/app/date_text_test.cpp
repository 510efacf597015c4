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

TEST(DateText, InvalidDateRaises) {
  SYSTEMTIME invalid = {2024, 13, 0, 45, 10, 0, 0, 0};
  EXPECT_THROW(FormatLocalDateTime(invalid), ReportError);
}

}  // namespace
}  // namespace velmora
