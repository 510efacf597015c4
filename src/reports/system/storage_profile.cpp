#include "reports/system/storage_profile.h"

#include <algorithm>

#include "common/com_ptr.h"
#include "common/dynamic_function.h"
#include "common/handles.h"
#include "common/lock.h"
#include "common/strings.h"
#include "common/system_library.h"
#include "common/ticks.h"
#include "common/worker_thread.h"
#include "environment/folders.h"
#include "environment/wow64.h"
#include "reports/system/shadow_storage.h"

namespace velmora {

namespace {

const wchar_t kTimedOut[] = L"unknown (timed out)";
constexpr uint64_t kShadowSafeClusterBytes = 16 * 1024;
// A thread left behind at the end gets this long to notice.
constexpr DWORD kLeaveBehindWaitMs = 1000;

std::wstring Line(const wchar_t* label, const std::wstring& value) {
  return std::wstring(label) + L": " +
         (value.empty() ? std::wstring(L"unknown (not read)") : value);
}

std::wstring ReadTrimSystemValue() {
  // Before Windows 7 the system sends no TRIM at all, whatever the registry holds.
  if (!IsWindows7OrLater()) return L"off (Windows 7 and later send TRIM)";
  const REGSAM view = IsWow64() ? KEY_WOW64_64KEY : 0;
  UniqueRegKey key;
  LONG error =
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\FileSystem", 0,
                      KEY_QUERY_VALUE | view, key.put());
  DWORD type = 0, value = 0, size = sizeof value;
  if (error == ERROR_SUCCESS) {
    error = ::RegQueryValueExW(key.get(), L"DisableDeleteNotify", nullptr, &type,
                               reinterpret_cast<BYTE*>(&value), &size);
  }
  return TrimSystemValue(error, type, value);
}

bool MentionsVolume(const StorageEvent& event, const VolumeTarget& target,
                    const VolumeFacts* facts) {
  const std::wstring letter = target.title.size() == 3 && target.title[1] == L':'
                                  ? target.title.substr(0, 2)
                                  : std::wstring();
  for (const std::wstring& text : event.strings) {
    if (!letter.empty() && (EqualsNoCase(text, letter) || StartsWithNoCase(text, letter + L"\\"))) {
      return true;
    }
    if (StartsWithNoCase(text, WithoutTrailingBackslash(target.root)) && target.root.size() > 3) {
      return true;
    }
    if (facts == nullptr) continue;
    for (const DWORD disk : facts->disk_numbers) {
      const std::wstring device = ToLower(Format(L"\\device\\harddisk%lu\\", disk));
      if (ToLower(text).find(device) != std::wstring::npos) return true;
    }
  }
  return false;
}

std::wstring CountValue(const StorageEvents& events, size_t count) {
  std::wstring value = Format(L"%zu", count);
  if (events.line_limit) {
    value += Format(L" (the newest %zu storage events of the machine were read)",
                    kStorageEventLineLimit);
  }
  return value;
}

void AppendEvents(ReportList& lines, const wchar_t* label, bool done, const StorageEvents& events,
                  const std::vector<const StorageEvent*>& chosen) {
  if (!done) {
    lines.push_back(Line(label, kTimedOut));
    return;
  }
  if (!events.read) {
    lines.push_back(Line(label, events.why));
    return;
  }
  lines.push_back(Line(label, CountValue(events, chosen.size())));
  for (const StorageEvent* event : chosen) lines.push_back(event->line);
}

bool TiedToSomeVolume(const StorageEvent& event, const StorageProfileFacts& facts) {
  for (size_t i = 0; i < facts.volumes.size(); ++i) {
    const VolumeFacts* volume = i < facts.volume_facts.size() ? &facts.volume_facts[i] : nullptr;
    if (MentionsVolume(event, facts.volumes[i], volume)) return true;
  }
  return false;
}

std::wstring HoldsValue(const std::wstring& title, const ProfileHolders& holders) {
  const bool windows = EqualsNoCase(title, holders.windows_volume);
  const bool product =
      !holders.product_volume.empty() && EqualsNoCase(title, holders.product_volume);
  if (windows && product) return L"Windows, Corvane";
  if (windows) return L"Windows";
  if (product) return L"Corvane";
  return L"nothing of Windows or Corvane";
}

void AppendMachineBlock(ReportList& lines, const StorageProfileFacts& facts,
                        const ProfileHolders& holders) {
  lines.push_back(L"Machine");
  if (facts.tasks_done) {
    AppendList(lines, WindowsDefragLines(facts.tasks));
  } else {
    lines.push_back(Line(L"Windows scheduled defragmentation", kTimedOut));
    lines.push_back(Line(L"Windows defragmentation schedule", kTimedOut));
    lines.push_back(Line(L"Windows defragmentation last run", kTimedOut));
  }
  std::vector<const StorageEvent*> runs;
  for (const StorageEvent& event : facts.defrag_runs.events) runs.push_back(&event);
  AppendEvents(lines, L"Windows defragmentation service runs (last 30 days)",
               facts.defrag_runs_done, facts.defrag_runs, runs);
  lines.push_back(facts.tasks_done ? ProductDefragLine(facts.tasks, holders.product_folder)
                                   : Line(L"Product scheduled defragmentation", kTimedOut));
  std::vector<const StorageEvent*> machine;
  for (const StorageEvent& event : facts.disk_errors.events) {
    if (!TiedToSomeVolume(event, facts)) machine.push_back(&event);
  }
  AppendEvents(lines, L"System disk errors (last 30 days)", facts.disk_errors_done,
               facts.disk_errors, machine);
  if (facts.filters_done) {
    AppendList(lines, FilterDriverLines(facts.filters));
  } else {
    lines.push_back(Line(L"File-system filter drivers", kTimedOut));
  }
  if (!facts.volumes_listed) lines.push_back(Line(L"Volumes", kTimedOut));
}

void AppendVolumeFacts(ReportList& lines, const VolumeFacts& v, const std::wstring& trim_system) {
  lines.push_back(Line(L"File system", v.file_system));
  lines.push_back(Line(L"Cluster size", v.cluster_size));
  lines.push_back(Line(L"Size", v.size));
  lines.push_back(Line(L"Free space", v.free_space));
  if (v.physical_disks.empty()) lines.push_back(Line(L"Physical disk", L"unknown (no disk found)"));
  for (const std::wstring& disk : v.physical_disks) lines.push_back(Line(L"Physical disk", disk));
  lines.push_back(Line(L"Media type", v.media_type));
  lines.push_back(Line(L"TRIM (device)", v.trim_device));
  lines.push_back(Line(L"TRIM (system)", trim_system));
  lines.push_back(Line(L"Dirty bit", v.dirty_bit));
  lines.push_back(Line(L"Free-space extents", v.free_extents));
  lines.push_back(Line(L"Largest free extent", v.largest_free_extent));
  lines.push_back(Line(L"MFT size", v.mft_size));
  lines.push_back(Line(L"MFT zone", v.mft_zone));
  lines.push_back(Line(L"Shadow copies", v.shadow_copies));
  lines.push_back(Line(L"Shadow storage", v.shadow_storage));
  if (v.cluster_bytes != 0 && v.cluster_bytes < kShadowSafeClusterBytes) {
    lines.push_back(
        L"Shadow copy note: clusters below 16 KB: defragmenting may make Windows "
        L"delete shadow copies");
  }
  lines.push_back(Line(L"SMART", v.smart));
}

void AppendTimedOutVolume(ReportList& lines) {
  for (const wchar_t* label :
       {L"File system", L"Cluster size", L"Size", L"Free space", L"Physical disk", L"Media type",
        L"TRIM (device)", L"TRIM (system)", L"Dirty bit", L"Free-space extents",
        L"Largest free extent", L"MFT size", L"MFT zone", L"Shadow copies", L"Shadow storage",
        L"SMART"}) {
    lines.push_back(Line(label, kTimedOut));
  }
}

void AppendVolumeBlock(ReportList& lines, const StorageProfileFacts& facts, size_t index,
                       const ProfileHolders& holders) {
  const VolumeTarget& target = facts.volumes[index];
  lines.push_back(L"");
  lines.push_back(L"Volume: " + target.title);
  lines.push_back(Line(L"Holds", HoldsValue(target.title, holders)));
  const VolumeFacts* volume =
      index < facts.volume_facts.size() ? &facts.volume_facts[index] : nullptr;
  if (volume != nullptr) {
    AppendVolumeFacts(lines, *volume,
                      facts.trim_system_done ? facts.trim_system : std::wstring(kTimedOut));
  } else {
    AppendTimedOutVolume(lines);
  }
  std::vector<const StorageEvent*> chosen;
  for (const StorageEvent& event : facts.disk_errors.events) {
    if (MentionsVolume(event, target, volume)) chosen.push_back(&event);
  }
  AppendEvents(lines, L"Disk errors (last 30 days)", facts.disk_errors_done, facts.disk_errors,
               chosen);
}

}  // namespace

bool IsDefragRun(const std::wstring& source, WORD type, DWORD event_id) {
  if (!EqualsAsciiNoCase(source, L"Defrag") &&
      !EqualsAsciiNoCase(source, L"Microsoft-Windows-Defrag")) {
    return false;
  }
  return event_id == 258 || type == EVENTLOG_ERROR_TYPE || type == EVENTLOG_WARNING_TYPE;
}

ReportList StorageProfileLines(const StorageProfileFacts& facts, const ProfileHolders& holders) {
  ReportList lines;
  AppendMachineBlock(lines, facts, holders);
  for (size_t i = 0; i < facts.volumes.size(); ++i) AppendVolumeBlock(lines, facts, i, holders);
  return lines;
}

std::wstring VolumeTitleOf(const std::wstring& path) {
  if (path.empty()) return {};
  using VolumePathNameFunction = BOOL(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
  const auto volume_path_name = LookUpFunction<VolumePathNameFunction>(
      LoadSystemLibrary(L"kernel32.dll"), "GetVolumePathNameW");
  wchar_t buffer[MAX_PATH + 1] = {};
  if (volume_path_name != nullptr && volume_path_name(path.c_str(), buffer, MAX_PATH)) {
    return FromBuffer(buffer, MAX_PATH + 1);
  }
  if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2) + L"\\";
  return {};
}

struct StorageProfileState {
  CriticalSection lock;
  StorageProfileFacts facts;
  UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  TickDeadline deadline{kStorageProfileTimeLimitMs};
  volatile LONG stop = 0;

  bool Stopping() const { return stop != 0 || deadline.Passed(); }
  template <typename Store>
  void Publish(Store store) {
    ScopedLock hold(lock);
    store(facts);
  }
};

namespace {

void ReadProfile(StorageProfileState& state) {
  // No dialog for a drive without a medium.
  const UINT previous_mode = ::SetErrorMode(SEM_FAILCRITICALERRORS);
  const std::wstring trim = ReadTrimSystemValue();
  state.Publish([&](StorageProfileFacts& f) { f.trim_system = trim, f.trim_system_done = true; });
  std::vector<VolumeTarget> volumes = ListFixedVolumes();
  state.Publish([&](StorageProfileFacts& f) { f.volumes = volumes, f.volumes_listed = true; });
  {
    const ComApartment apartment;  // the shadow copy service is asked through COM
    for (const VolumeTarget& target : volumes) {
      if (state.Stopping()) break;
      VolumeFacts facts = ReadVolumeFacts(target, kBitmapChunkBytes, state.deadline);
      facts.shadow_storage = ReadShadowStorage(target.root);
      state.Publish([&](StorageProfileFacts& f) { f.volume_facts.push_back(std::move(facts)); });
    }
  }
  ::SetErrorMode(previous_mode);
  if (state.Stopping()) return;
  StorageEvents errors = ReadLogEvents(L"System", IsStorageError, state.deadline);
  state.Publish([&](StorageProfileFacts& f) {
    f.disk_errors = std::move(errors), f.disk_errors_done = true;
  });
  if (state.Stopping()) return;
  FilterDrivers filters = ReadFilterDrivers();
  state.Publish(
      [&](StorageProfileFacts& f) { f.filters = std::move(filters), f.filters_done = true; });
  if (state.Stopping()) return;
  {
    const ComApartment apartment;
    TaskSchedulerFacts tasks = ReadTaskSchedulerFacts(state.deadline);
    state.Publish([&](StorageProfileFacts& f) { f.tasks = std::move(tasks), f.tasks_done = true; });
  }
  if (state.Stopping()) return;
  StorageEvents runs = ReadLogEvents(L"Application", IsDefragRun, state.deadline);
  state.Publish(
      [&](StorageProfileFacts& f) { f.defrag_runs = std::move(runs), f.defrag_runs_done = true; });
}

}  // namespace

StorageProfileJob::StorageProfileJob()
    : state_(std::make_shared<StorageProfileState>()), thread_(std::make_unique<WorkerThread>()) {
  std::shared_ptr<StorageProfileState> state = state_;
  const bool started = StartWorker(*thread_, [state] {
    try {
      ReadProfile(*state);
    } catch (...) {
    }
    ::SetEvent(state->done.get());
  });
  if (!started) ::SetEvent(state_->done.get());
}

StorageProfileJob::~StorageProfileJob() {
  ::InterlockedExchange(&state_->stop, 1);
  if (::WaitForSingleObject(state_->done.get(), kLeaveBehindWaitMs) == WAIT_OBJECT_0) {
    thread_.reset();
    return;
  }
  // A device that does not answer keeps its thread; the thread keeps the
  // state it writes into, and the process ends it when it ends.
  thread_.release();
}

ReportList StorageProfileJob::Take(const std::wstring& product_folder) {
  ::WaitForSingleObject(state_->done.get(), state_->deadline.Remaining());
  StorageProfileFacts facts;
  {
    ScopedLock hold(state_->lock);
    facts = state_->facts;
  }
  ProfileHolders holders;
  holders.windows_volume = VolumeTitleOf(GetWindowsDir());
  holders.product_folder = product_folder;
  holders.product_volume = VolumeTitleOf(product_folder);
  return StorageProfileLines(facts, holders);
}

}  // namespace velmora
