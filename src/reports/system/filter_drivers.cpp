#include "reports/system/filter_drivers.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>

#include "common/dynamic_function.h"
#include "common/strings.h"
#include "common/system_library.h"

namespace velmora {

namespace {

// FILTER_AGGREGATE_STANDARD_INFORMATION as Windows documents it; the name
// and altitude offsets count from the entry's start.
struct FilterEntry {
  ULONG next_entry_offset;
  ULONG flags;  // 1 = minifilter, 2 = legacy filter
  union {
    struct {
      ULONG flags;
      ULONG frame_id;
      ULONG instances;
      USHORT name_length, name_offset, altitude_length, altitude_offset;
    } mini;
    struct {
      ULONG flags;
      USHORT name_length, name_offset, altitude_length, altitude_offset;
    } legacy;
  } type;
};
// INSTANCE_FULL_INFORMATION
struct InstanceEntry {
  ULONG next_entry_offset;
  USHORT instance_name_length, instance_name_offset, altitude_length, altitude_offset;
  USHORT volume_name_length, volume_name_offset, filter_name_length, filter_name_offset;
};

constexpr int kAggregateStandardInformation = 2;
constexpr int kInstanceFullInformation = 2;
constexpr size_t kBufferBytes = 4096;
constexpr int kFilterLimit = 256;
constexpr int kInstanceLimit = 256;

using FindFirstFunction = HRESULT(WINAPI*)(int, void*, DWORD, DWORD*, HANDLE*);
using FindNextFunction = HRESULT(WINAPI*)(HANDLE, int, void*, DWORD, DWORD*);
using FindCloseFunction = HRESULT(WINAPI*)(HANDLE);
using InstanceFirstFunction = HRESULT(WINAPI*)(LPCWSTR, int, void*, DWORD, DWORD*, HANDLE*);

std::wstring CountedText(const uint8_t* entry, size_t room, USHORT offset, USHORT length) {
  if (size_t{offset} + length > room) return {};
  std::wstring text(length / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), entry + offset, text.size() * sizeof(wchar_t));
  return text;
}

// "\Device\HarddiskVolume2" -> "C:", from the drive letters' device names.
std::map<std::wstring, std::wstring> DriveLettersByDevice() {
  std::map<std::wstring, std::wstring> letters;
  for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
    const std::wstring drive = std::wstring(1, letter) + L":";
    wchar_t device[MAX_PATH] = {};
    if (::QueryDosDeviceW(drive.c_str(), device, MAX_PATH) != 0) {
      letters.emplace(ToLower(FromBuffer(device, MAX_PATH)), drive);
    }
  }
  return letters;
}

std::vector<std::wstring> AttachedVolumes(InstanceFirstFunction first, FindNextFunction next,
                                          FindCloseFunction close, const std::wstring& filter,
                                          const std::map<std::wstring, std::wstring>& letters) {
  std::vector<std::wstring> volumes;
  alignas(8) uint8_t buffer[kBufferBytes];
  DWORD returned = 0;
  HANDLE find = INVALID_HANDLE_VALUE;
  HRESULT result =
      first(filter.c_str(), kInstanceFullInformation, buffer, sizeof buffer, &returned, &find);
  for (int i = 0; SUCCEEDED(result) && i < kInstanceLimit; ++i) {
    InstanceEntry entry = {};
    std::memcpy(&entry, buffer, std::min<size_t>(returned, sizeof entry));
    std::wstring volume =
        CountedText(buffer, returned, entry.volume_name_offset, entry.volume_name_length);
    const auto letter = letters.find(ToLower(volume));
    if (letter != letters.end()) volume = letter->second;
    if (std::find(volumes.begin(), volumes.end(), volume) == volumes.end()) {
      volumes.push_back(volume);
    }
    result = next(find, kInstanceFullInformation, buffer, sizeof buffer, &returned);
  }
  if (find != INVALID_HANDLE_VALUE && find != nullptr) close(find);
  std::sort(volumes.begin(), volumes.end());
  return volumes;
}

}  // namespace

std::vector<FilterDriver> ParseFilterEntries(const uint8_t* bytes, size_t size) {
  std::vector<FilterDriver> filters;
  size_t offset = 0;
  while (offset + sizeof(FilterEntry) <= size) {
    FilterEntry entry;
    std::memcpy(&entry, bytes + offset, sizeof entry);
    const uint8_t* start = bytes + offset;
    const size_t room = size - offset;
    FilterDriver filter;
    if (entry.flags & 1) {
      filter.name =
          CountedText(start, room, entry.type.mini.name_offset, entry.type.mini.name_length);
      filter.altitude = CountedText(start, room, entry.type.mini.altitude_offset,
                                    entry.type.mini.altitude_length);
    } else {
      filter.name =
          CountedText(start, room, entry.type.legacy.name_offset, entry.type.legacy.name_length);
      filter.altitude = CountedText(start, room, entry.type.legacy.altitude_offset,
                                    entry.type.legacy.altitude_length);
    }
    if (!filter.name.empty()) filters.push_back(std::move(filter));
    if (entry.next_entry_offset == 0) break;
    offset += entry.next_entry_offset;
  }
  return filters;
}

FilterDrivers ReadFilterDrivers() {
  FilterDrivers drivers;
  FindFirstFunction find_first = nullptr;
  FindNextFunction find_next = nullptr, instance_next = nullptr;
  FindCloseFunction find_close = nullptr, instance_close = nullptr;
  InstanceFirstFunction instance_first = nullptr;
  if (!LookUpFunctions(LoadSystemLibrary(L"fltlib.dll"), Named(find_first, "FilterFindFirst"),
                       Named(find_next, "FilterFindNext"), Named(find_close, "FilterFindClose"),
                       Named(instance_first, "FilterInstanceFindFirst"),
                       Named(instance_next, "FilterInstanceFindNext"),
                       Named(instance_close, "FilterInstanceFindClose"))) {
    drivers.why = L"unknown (no filter manager)";
    return drivers;
  }
  alignas(8) uint8_t buffer[kBufferBytes];
  DWORD returned = 0;
  HANDLE find = INVALID_HANDLE_VALUE;
  HRESULT result =
      find_first(kAggregateStandardInformation, buffer, sizeof buffer, &returned, &find);
  if (FAILED(result)) {
    drivers.why = result == HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS) ? std::wstring()
                  : result == E_ACCESSDENIED || result == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)
                      ? std::wstring(L"unknown (access denied)")
                      : Format(L"unknown (the filter manager does not answer, 0x%08lX)",
                               static_cast<unsigned long>(result));
    return drivers;
  }
  for (int i = 0; SUCCEEDED(result) && i < kFilterLimit; ++i) {
    for (FilterDriver& filter : ParseFilterEntries(buffer, returned)) {
      drivers.filters.push_back(std::move(filter));
    }
    result = find_next(find, kAggregateStandardInformation, buffer, sizeof buffer, &returned);
  }
  find_close(find);
  const auto letters = DriveLettersByDevice();
  for (FilterDriver& filter : drivers.filters) {
    filter.volumes =
        AttachedVolumes(instance_first, instance_next, instance_close, filter.name, letters);
  }
  return drivers;
}

ReportList FilterDriverLines(const FilterDrivers& drivers) {
  const std::wstring label = L"File-system filter drivers: ";
  if (!drivers.why.empty()) return {label + drivers.why};
  std::vector<FilterDriver> filters = drivers.filters;
  std::stable_sort(
      filters.begin(), filters.end(), [](const FilterDriver& a, const FilterDriver& b) {
        return std::wcstod(a.altitude.c_str(), nullptr) > std::wcstod(b.altitude.c_str(), nullptr);
      });
  ReportList lines = {label + Format(L"%zu", filters.size())};
  for (const FilterDriver& filter : filters) {
    std::wstring volumes;
    for (const std::wstring& volume : filter.volumes) {
      volumes += (volumes.empty() ? L"" : L", ") + volume;
    }
    lines.push_back(L"  " + filter.name + L"  altitude " +
                    (filter.altitude.empty() ? std::wstring(L"not given") : filter.altitude) +
                    L"  volumes " + (volumes.empty() ? std::wstring(L"none") : volumes));
  }
  return lines;
}

}  // namespace velmora
