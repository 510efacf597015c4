#include "common/date_text.h"

#include "common/strings.h"

namespace velmora {

namespace {

std::wstring LocaleText(LCTYPE type, const wchar_t* fallback) {
  wchar_t buffer[128] = {};
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128) == 0) return fallback;
  return FromBuffer(buffer, 128);
}

bool PlatformShortDate(const SYSTEMTIME& time, std::wstring& text) {
  wchar_t buffer[128] = {};
  if (::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, buffer, 128) == 0) {
    return false;
  }
  text = FromBuffer(buffer, 128);
  return true;
}

bool PlatformLongTime(const SYSTEMTIME& time, std::wstring& text) {
  wchar_t buffer[128] = {};
  if (::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, buffer, 128) == 0) return false;
  text = FromBuffer(buffer, 128);
  return true;
}

std::wstring Number(unsigned value, size_t digits) {
  return PadLeft(std::to_wstring(value), digits, L'0');
}

// The name of a month or weekday from the locale; the number when the
// value is out of range, so that any date can be written.
std::wstring NameFromLocale(LCTYPE first, unsigned index, bool valid, unsigned number) {
  if (!valid) return std::to_wstring(number);
  return LocaleText(first + index, std::to_wstring(number).c_str());
}

// Expands one picture: `field` writes a run of the same letter (its count
// given), quoted text stands as it is, anything else is copied.
std::wstring ExpandPicture(const std::wstring& picture,
                           const std::function<bool(wchar_t, size_t, std::wstring&)>& field) {
  std::wstring text;
  for (size_t i = 0; i < picture.size();) {
    const wchar_t c = picture[i];
    if (c == L'\'') {
      const size_t end = picture.find(L'\'', i + 1);
      const size_t stop = end == std::wstring::npos ? picture.size() : end;
      // Two quotes in a row stand for one.
      text += stop == i + 1 ? L"'" : picture.substr(i + 1, stop - i - 1);
      i = stop + 1;
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    if (!field(c, run, text)) text.append(run, c);
    i += run;
  }
  return text;
}

}  // namespace

DateTimeFormatters PlatformDateTimeFormatters() {
  return {PlatformShortDate, PlatformLongTime};
}

std::wstring ExpandDatePicture(const std::wstring& picture, const SYSTEMTIME& time) {
  return ExpandPicture(picture, [&time](wchar_t c, size_t run, std::wstring& text) {
    switch (c) {
      case L'd':
        if (run <= 2) {
          text += Number(time.wDay, run);
        } else {
          // Monday is the first of the locale's day names, Sunday is 0 here.
          text +=
              NameFromLocale(run == 3 ? LOCALE_SABBREVDAYNAME1 : LOCALE_SDAYNAME1,
                             (time.wDayOfWeek + 6u) % 7u, time.wDayOfWeek <= 6, time.wDayOfWeek);
        }
        return true;
      case L'M':
        if (run <= 2) {
          text += Number(time.wMonth, run);
        } else {
          text +=
              NameFromLocale(run == 3 ? LOCALE_SABBREVMONTHNAME1 : LOCALE_SMONTHNAME1,
                             time.wMonth - 1u, time.wMonth >= 1 && time.wMonth <= 12, time.wMonth);
        }
        return true;
      case L'y':
        text += run == 1   ? std::to_wstring(time.wYear % 100)
                : run == 2 ? Number(time.wYear % 100, 2)
                           : Number(time.wYear, 4);
        return true;
      case L'g':
        return true;  // an era name: none for the Gregorian calendar
      default:
        return false;
    }
  });
}

std::wstring ExpandTimePicture(const std::wstring& picture, const SYSTEMTIME& time) {
  return ExpandPicture(picture, [&time](wchar_t c, size_t run, std::wstring& text) {
    const size_t digits = run >= 2 ? 2 : 1;
    switch (c) {
      case L'h':
        text += Number(time.wHour % 12 == 0 ? 12 : time.wHour % 12, digits);
        return true;
      case L'H':
        text += Number(time.wHour, digits);
        return true;
      case L'm':
        text += Number(time.wMinute, digits);
        return true;
      case L's':
        text += Number(time.wSecond, digits);
        return true;
      case L't': {
        const std::wstring marker = LocaleText(time.wHour < 12 ? LOCALE_S1159 : LOCALE_S2359,
                                               time.wHour < 12 ? L"AM" : L"PM");
        text += run == 1 ? marker.substr(0, 1) : marker;
        return true;
      }
      default:
        return false;
    }
  });
}

std::wstring FormatLocalDateTime(const SYSTEMTIME& local_time, const DateTimeFormatters& platform) {
  std::wstring text;
  if (!platform.short_date(local_time, text)) {
    text = ExpandDatePicture(LocaleText(LOCALE_SSHORTDATE, L"M/d/yyyy"), local_time);
  }
  const bool midnight = local_time.wHour == 0 && local_time.wMinute == 0 && local_time.wSecond == 0;
  if (midnight) return text;
  std::wstring time;
  if (!platform.long_time(local_time, time)) {
    time = ExpandTimePicture(LocaleText(LOCALE_STIMEFORMAT, L"h:mm:ss tt"), local_time);
  }
  return text + L" " + time;
}

std::wstring FormatCurrentLocalDateTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return FormatLocalDateTime(now);
}

}  // namespace velmora
