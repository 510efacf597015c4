// Events of the last 30 days from an event log, newest first, read backwards
// through the classic event log interface that every Windows has: the disk
// and file-system errors of the System log, the defragmenter's runs of the
// Application log.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/ticks.h"

namespace velmora {

inline constexpr DWORD kStorageEventDays = 30;
// Lines for the whole machine; the reading stops once it has them.
inline constexpr size_t kStorageEventLineLimit = 20;

struct StorageEvent {
  std::wstring line;                  // "  yyyy-mm-dd hh:mm:ss  source  id  message"
  std::vector<std::wstring> strings;  // its insertion strings, to tie it to a volume
};

struct StorageEvents {
  bool read = false;        // false: `why` says why not
  std::wstring why;         // an "unknown (...)" value
  bool line_limit = false;  // the reading stopped at the line limit, not at 30 days
  std::vector<StorageEvent> events;
};

// The message of an event from its source's message file; empty when the
// system cannot render it.
using EventMessageText = std::function<std::wstring(const std::wstring& source, DWORD event_id,
                                                    const std::vector<std::wstring>& strings)>;

// Which events are taken, by source, type (EVENTLOG_ERROR_TYPE...) and id.
using EventFilter = std::function<bool(const std::wstring& source, WORD type, DWORD event_id)>;

// Whether an event source is one of the disk, file-system, snapshot or
// storage-controller drivers.
bool IsStorageEventSource(const std::wstring& source);
// Their errors and warnings.
bool IsStorageError(const std::wstring& source, WORD type, DWORD event_id);

// Takes the events that pass the filter from a buffer of EVENTLOGRECORD
// records read backwards; false once a record is older than `oldest` (seconds
// since 1970) or the line limit is reached.
bool TakeLogEvents(const uint8_t* records, size_t size, DWORD oldest, const EventFilter& filter,
                   const EventMessageText& message, StorageEvents& events);

// Reads a log of this machine ("System", "Application") until 30 days back,
// the line limit or the deadline.
StorageEvents ReadLogEvents(const std::wstring& log_name, const EventFilter& filter,
                            const TickDeadline& deadline);

// "  2026-12-01 10:15:00  Disk  7  The device has a bad block." from the parts.
std::wstring StorageEventLine(DWORD time_generated, const std::wstring& source, DWORD event_id,
                              const std::wstring& message);

// A message with its %1... inserts filled from `strings`, on one line.
std::wstring FillInserts(const std::wstring& message, const std::vector<std::wstring>& strings);

}  // namespace velmora
