#include "reports/system/storage_events.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "common/handles.h"
#include "common/strings.h"
#include "environment/folders.h"
#include "environment/wow64.h"

namespace velmora {

namespace {

constexpr size_t kReadBufferBytes = 64 * 1024;
constexpr size_t kMessageLimit = 300;
constexpr DWORD kSecondsPerDay = 24 * 60 * 60;

bool IsDigitCharacter(wchar_t c) {
  return c >= L'0' && c <= L'9';
}

struct EventLogTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr; }
  static void Close(HANDLE h) { ::CloseEventLog(h); }
};
using UniqueEventLog = UniqueResource<HANDLE, EventLogTraits>;

std::wstring RecordText(const uint8_t* start, const uint8_t* end) {
  std::wstring text;
  for (const uint8_t* p = start; p + 1 < end; p += 2) {
    const wchar_t c = static_cast<wchar_t>(p[0] | (p[1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

std::vector<std::wstring> RecordStrings(const EVENTLOGRECORD& record, const uint8_t* base,
                                        const uint8_t* end) {
  std::vector<std::wstring> strings;
  const uint8_t* p = base + record.StringOffset;
  for (WORD i = 0; i < record.NumStrings && p < end; ++i) {
    std::wstring text = RecordText(p, end);
    p += (text.size() + 1) * sizeof(wchar_t);
    strings.push_back(std::move(text));
  }
  return strings;
}

bool IsErrorOrWarning(WORD type) {
  return type == EVENTLOG_ERROR_TYPE || type == EVENTLOG_WARNING_TYPE;
}

DWORD SecondsSince1970() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  return static_cast<DWORD>(ticks / 10000000 - 11644473600ull);
}

// Only message files inside the system folder are opened: a source's
// registration names any file, and the program runs elevated.
std::wstring SystemMessageFile(const std::wstring& registered) {
  std::wstring path = ReplaceAllNoCase(registered, L"%SystemRoot%", GetWindowsDir());
  path = ReplaceAllNoCase(path, L"%windir%", GetWindowsDir());
  const size_t separator = path.find(L';');
  if (separator != std::wstring::npos) path.resize(separator);
  const std::wstring system = EnsureTrailingBackslash(GetSystemDir());
  if (GetSystemDir().empty() || !StartsWithNoCase(path, system)) return {};
  if (path.find(L"..") != std::wstring::npos || path.find(L'%') != std::wstring::npos) return {};
  if (path.find(L'\\', system.size()) != std::wstring::npos) return {};
  return path;
}

std::wstring RegisteredMessageFile(const std::wstring& log_name, const std::wstring& source) {
  const REGSAM view = IsWow64() ? KEY_WOW64_64KEY : 0;
  UniqueRegKey key;
  const std::wstring path =
      L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\" + log_name + L"\\" + source;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) !=
      ERROR_SUCCESS) {
    return {};
  }
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), L"EventMessageFile", nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  return FromBuffer(buffer, MAX_PATH + 1);
}

// Message files of the sources met so far, each loaded as data once.
class SystemMessageFiles {
 public:
  explicit SystemMessageFiles(std::wstring log_name) : log_name_(std::move(log_name)) {}
  std::wstring Text(const std::wstring& source, DWORD event_id,
                    const std::vector<std::wstring>& strings) {
    auto found = files_.find(source);
    if (found == files_.end()) {
      const std::wstring path = SystemMessageFile(RegisteredMessageFile(log_name_, source));
      UniqueLibrary library;
      if (!path.empty()) {
        library.reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
      }
      found = files_.emplace(source, std::move(library)).first;
    }
    if (!found->second) return {};
    wchar_t* text = nullptr;
    // The inserts are filled in by the program: the system's own filling
    // trusts the message's format specifications.
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        found->second.get(), event_id, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const UniqueLocalMemory owner(text);
    if (length == 0 || text == nullptr) return {};
    return FillInserts(std::wstring(text, length), strings);
  }

 private:
  std::wstring log_name_;
  std::map<std::wstring, UniqueLibrary> files_;
};

}  // namespace

bool IsStorageEventSource(const std::wstring& source) {
  static const wchar_t* const kSources[] = {L"disk",
                                            L"ntfs",
                                            L"microsoft-windows-ntfs",
                                            L"volsnap",
                                            L"partmgr",
                                            L"volmgr",
                                            L"atapi",
                                            L"storahci",
                                            L"stornvme",
                                            L"storport",
                                            L"msahci",
                                            L"iastor",
                                            L"iastora",
                                            L"iastorv",
                                            L"iastorac",
                                            L"iastoravc",
                                            L"nvstor",
                                            L"amd_sata",
                                            L"amdsata",
                                            L"lsi_sas",
                                            L"lsi_sas2",
                                            L"lsi_sas3",
                                            L"megasas",
                                            L"percsas2i",
                                            L"uaspstor",
                                            L"usbstor",
                                            L"cdrom",
                                            L"fastfat",
                                            L"exfat",
                                            L"refs",
                                            L"microsoft-windows-storport"};
  return std::any_of(std::begin(kSources), std::end(kSources),
                     [&](const wchar_t* name) { return EqualsAsciiNoCase(source, name); });
}

bool IsStorageError(const std::wstring& source, WORD type, DWORD) {
  return IsErrorOrWarning(type) && IsStorageEventSource(source);
}

std::wstring FillInserts(const std::wstring& message, const std::vector<std::wstring>& strings) {
  std::wstring text;
  for (size_t i = 0; i < message.size(); ++i) {
    const wchar_t c = message[i];
    if (c == L'%' && i + 1 < message.size() && IsDigitCharacter(message[i + 1])) {
      size_t number = 0;
      while (i + 1 < message.size() && IsDigitCharacter(message[i + 1]) && number < 100) {
        number = number * 10 + (message[++i] - L'0');
      }
      // A printf-style format after the number ("%1!s!") is left out.
      if (i + 1 < message.size() && message[i + 1] == L'!') {
        const size_t close = message.find(L'!', i + 2);
        if (close != std::wstring::npos) i = close;
      }
      if (number >= 1 && number <= strings.size()) text += strings[number - 1];
      continue;
    }
    text.push_back(c == L'\r' || c == L'\n' || c == L'\t' ? L' ' : c);
  }
  std::wstring single;
  for (const wchar_t c : Trimmed(text)) {
    if (c == L' ' && !single.empty() && single.back() == L' ') continue;
    single.push_back(c);
  }
  if (single.size() > kMessageLimit) single = single.substr(0, kMessageLimit) + L"...";
  return single;
}

std::wstring StorageEventLine(DWORD time_generated, const std::wstring& source, DWORD event_id,
                              const std::wstring& message) {
  const uint64_t ticks = (uint64_t{time_generated} + 11644473600ull) * 10000000;
  const FILETIME file_time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME t = {};
  ::FileTimeToSystemTime(&file_time, &t);
  std::wstring line = Format(L"  %04u-%02u-%02u %02u:%02u:%02u  ", t.wYear, t.wMonth, t.wDay,
                             t.wHour, t.wMinute, t.wSecond) +
                      source + Format(L"  %lu", event_id & 0xFFFF);
  if (!message.empty()) line += L"  " + message;
  return line;
}

bool TakeLogEvents(const uint8_t* records, size_t size, DWORD oldest, const EventFilter& filter,
                   const EventMessageText& message, StorageEvents& events) {
  size_t offset = 0;
  while (offset + sizeof(EVENTLOGRECORD) <= size) {
    EVENTLOGRECORD record;
    std::memcpy(&record, records + offset, sizeof record);
    if (record.Length < sizeof record || offset + record.Length > size) return false;
    const uint8_t* base = records + offset;
    const uint8_t* end = base + record.Length;
    offset += record.Length;
    if (record.TimeGenerated < oldest) return false;
    const std::wstring source = RecordText(base + sizeof record, end);
    if (!filter(source, record.EventType, record.EventID & 0xFFFF)) continue;
    StorageEvent event;
    event.strings = RecordStrings(record, base, end);
    event.line = StorageEventLine(record.TimeGenerated, source, record.EventID,
                                  message ? message(source, record.EventID, event.strings) : L"");
    events.events.push_back(std::move(event));
    if (events.events.size() >= kStorageEventLineLimit) {
      events.line_limit = true;
      return false;
    }
  }
  return true;
}

StorageEvents ReadLogEvents(const std::wstring& log_name, const EventFilter& filter,
                            const TickDeadline& deadline) {
  StorageEvents events;
  const UniqueEventLog log(::OpenEventLogW(nullptr, log_name.c_str()));
  if (!log) {
    events.why = ::GetLastError() == ERROR_ACCESS_DENIED
                     ? std::wstring(L"unknown (access denied)")
                     : L"unknown (no " + log_name + L" event log)";
    return events;
  }
  SystemMessageFiles files(log_name);
  const EventMessageText message = [&](const std::wstring& source, DWORD id,
                                       const std::vector<std::wstring>& strings) {
    return files.Text(source, id, strings);
  };
  const DWORD oldest = SecondsSince1970() - kStorageEventDays * kSecondsPerDay;
  std::vector<uint8_t> buffer(kReadBufferBytes);
  for (;;) {
    if (deadline.Passed()) {
      events.why = L"unknown (timed out)";
      return events;
    }
    DWORD read = 0, needed = 0;
    if (!::ReadEventLogW(log.get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
                         buffer.data(), static_cast<DWORD>(buffer.size()), &read, &needed)) {
      const DWORD error = ::GetLastError();
      // A single record larger than the buffer is not read: the buffer stays bounded.
      if (error == ERROR_HANDLE_EOF || error == ERROR_INSUFFICIENT_BUFFER) break;
      events.why = L"unknown (the event log cannot be read)";
      return events;
    }
    if (!TakeLogEvents(buffer.data(), read, oldest, filter, message, events)) break;
  }
  events.read = true;
  return events;
}

}  // namespace velmora
