// Local date and time as the report headings show them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace velmora {

// How a date or a time is turned into text; false when it is refused.
using DateTimeFormatter = std::function<bool(const SYSTEMTIME&, std::wstring&)>;

struct DateTimeFormatters {
  DateTimeFormatter short_date;
  DateTimeFormatter long_time;
};

// The platform's formatting in the user's locale. Windows refuses dates
// before 1601 (the zero date of a file whose times cannot be read, 30
// December 1899, among them); other systems accept them.
DateTimeFormatters PlatformDateTimeFormatters();

// The user's short date, then, unless the time is exactly 00:00:00, one blank
// and the long time. Never fails: what the platform refuses is written by the
// program itself from the user's date and time pictures, in the same layout.
std::wstring FormatLocalDateTime(const SYSTEMTIME& local_time,
                                 const DateTimeFormatters& platform = PlatformDateTimeFormatters());
std::wstring FormatCurrentLocalDateTime();

// The date or the time written from a picture of the locale ("M/d/yyyy",
// "h:mm:ss tt", quoted text kept as it stands), as the platform writes them.
std::wstring ExpandDatePicture(const std::wstring& picture, const SYSTEMTIME& time);
std::wstring ExpandTimePicture(const std::wstring& picture, const SYSTEMTIME& time);

}  // namespace velmora
