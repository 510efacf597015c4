#include "common/date_text.h"

#include "common/errors.h"
#include "common/strings.h"

namespace velmora {

namespace {

std::wstring ShortDate(const SYSTEMTIME& time) {
  wchar_t buffer[128] = {};
  if (::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, buffer, 128) == 0) {
    ThrowLastError("cannot format date");
  }
  return FromBuffer(buffer, 128);
}

std::wstring LongTime(const SYSTEMTIME& time) {
  wchar_t buffer[128] = {};
  if (::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, buffer, 128) == 0) {
    ThrowLastError("cannot format time");
  }
  return FromBuffer(buffer, 128);
}

}  // namespace

std::wstring FormatLocalDateTime(const SYSTEMTIME& local_time) {
  std::wstring text = ShortDate(local_time);
  const bool midnight =
      local_time.wHour == 0 && local_time.wMinute == 0 && local_time.wSecond == 0;
  if (!midnight) text += L" " + LongTime(local_time);
  return text;
}

std::wstring FormatCurrentLocalDateTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return FormatLocalDateTime(now);
}

}  // namespace velmora
