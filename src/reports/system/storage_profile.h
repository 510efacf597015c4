// "StorageInfo.txt": the storage and defragmentation profile, one block for
// the machine and one per fixed volume, one "Label: value" fact per line.
// It is read on a thread of its own that starts with the report and runs
// beside the console tools; the report takes what it has at its own step and
// writes "unknown (timed out)" for the rest, so a slow or hanging device
// never holds the run up.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/report_list.h"
#include "reports/system/defrag_schedule.h"
#include "reports/system/filter_drivers.h"
#include "reports/system/storage_events.h"
#include "reports/system/volume_facts.h"

namespace velmora {

// How long the profile may take, counted from the start of the report.
inline constexpr DWORD kStorageProfileTimeLimitMs = 30000;

// What the reading has found so far; a part not done is written as timed out.
struct StorageProfileFacts {
  bool tasks_done = false;
  TaskSchedulerFacts tasks;
  bool defrag_runs_done = false;
  StorageEvents defrag_runs;
  bool disk_errors_done = false;
  StorageEvents disk_errors;
  bool filters_done = false;
  FilterDrivers filters;
  bool trim_system_done = false;
  std::wstring trim_system;
  bool volumes_listed = false;
  std::vector<VolumeTarget> volumes;
  std::vector<VolumeFacts> volume_facts;  // the first volumes' facts, in order
};

// Where Windows and the product live: the volume titles ("C:\" or a mount
// folder) of their folders, empty when unknown.
struct ProfileHolders {
  std::wstring windows_volume;
  std::wstring product_volume;
  std::wstring product_folder;
};

ReportList StorageProfileLines(const StorageProfileFacts& facts, const ProfileHolders& holders);

// The volume title that holds `path` ("C:\"), empty when it cannot be told.
std::wstring VolumeTitleOf(const std::wstring& path);

// Events of "Defrag" (the defragmentation service's runs: 258, and its failures).
bool IsDefragRun(const std::wstring& source, WORD type, DWORD event_id);

// Reads every part into `facts` as it is done.
struct StorageProfileState;

class StorageProfileJob {
 public:
  // Starts the reading; a profile whose thread cannot start says so.
  StorageProfileJob();
  // Asks the thread to stop and leaves it behind if it does not end at once.
  ~StorageProfileJob();
  StorageProfileJob(const StorageProfileJob&) = delete;
  StorageProfileJob& operator=(const StorageProfileJob&) = delete;

  // Waits until the reading is done or its time is up, then the report lines.
  ReportList Take(const std::wstring& product_folder);

 private:
  std::shared_ptr<StorageProfileState> state_;
  std::unique_ptr<class WorkerThread> thread_;
};

}  // namespace velmora
