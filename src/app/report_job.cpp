#include "app/report_job.h"

#include "app/app_state.h"
#include "app/archive/make_archive.h"
#include "app/archive_destination.h"
#include "app/report_progress.h"
#include "app/working_folder.h"
#include "common/cancellation.h"
#include "common/date_text.h"
#include "common/errors.h"
#include "common/report_file.h"
#include "common/report_list.h"
#include "common/strings.h"
#include "environment/accounts.h"
#include "environment/folders.h"
#include "environment/product_install.h"
#include "environment/version_resource.h"
#include "environment/wow64.h"
#include "reports/files/file_fingerprint.h"
#include "reports/files/files_report.h"
#include "reports/files/product_files.h"
#include "reports/files/product_listing.h"
#include "reports/findings/findings_report.h"
#include "reports/registry/autoruns_report.h"
#include "reports/registry/bho_report.h"
#include "reports/registry/registry_exports.h"
#include "reports/system/command_captures.h"
#include "reports/system/disk_volumes.h"
#include "reports/system/process_report.h"
#include "reports/system/security_report.h"
#include "reports/system/services_report.h"
#include "reports/system/storage_profile.h"
#include "reports/system/system_summary.h"

namespace velmora {

namespace {

class ProgressReporter {
 public:
  explicit ProgressReporter(HWND window) : window_(window) {}
  void Start() { ::SendMessageW(window_, WM_REPORT_PROGRESS, kProgressStart, kReportSteps); }
  // Between steps is where a run that the user gave up on stops.
  void Step() {
    ThrowIfCancelled();
    ::PostMessageW(window_, WM_REPORT_PROGRESS, kProgressStep, ++counter_);
  }
  void Finish(bool done, LPARAM reason) {
    ::SendMessageW(window_, WM_REPORT_PROGRESS, done ? kProgressDone : kProgressFailed,
                   done ? 0 : reason);
  }
  // The step under way: the one after the last mark posted.
  LPARAM CurrentStep() const { return counter_ + 1; }

 private:
  HWND window_;
  LPARAM counter_ = 0;
};

// Removes the working folder however the run's steps end.
class WorkingFolderCleanup {
 public:
  explicit WorkingFolderCleanup(WorkingFolder& folder) : folder_(folder) {}
  ~WorkingFolderCleanup() { folder_.Remove(); }
  WorkingFolderCleanup(const WorkingFolderCleanup&) = delete;
  WorkingFolderCleanup& operator=(const WorkingFolderCleanup&) = delete;

 private:
  WorkingFolder& folder_;
};

// A failure here costs only the autoruns block; the run goes on.
void AddAutorunsReport(ReportList& list) {
  try {
    AppendList(list, GetAutorunsReport());
  } catch (...) {
  }
}

// The main report: its collectors in their fixed order, each mark posted
// right after the step that carries it.
void SaveMainReport(const ReportJobSettings& settings, const std::wstring& folder,
                    ProgressReporter& progress) {
  ReportList list;
  list.push_back(L"Version:" + GetFileVersionString(settings.program_file, L"Unknown"));
  list.push_back(L"Date:" + FormatCurrentLocalDateTime());
  AppendList(list, GetSystemSummary());
  progress.Step();  // 1
  list.push_back(kSeparatorLine);
  list.push_back(GetProcessReport());
  progress.Step();  // 2
  AppendServicesReport(list);
  progress.Step();  // 3
  list.push_back(kSeparatorLine);
  AppendList(list, GetBhoReport());
  progress.Step();  // 4
  AddAutorunsReport(list);
  list.push_back(kSeparatorLine);
  AppendSecurityReport(list);
  progress.Step();  // 5
  ProductInstallPath = FindProductInstallPath();
  AddFilesReport(list);
  progress.Step();  // 6
  SaveReportFile(list, folder + L"Velmora_Debug_Info.txt");
}

// A registry-editor export saved as a report text file.
void SaveRegistryExport(const std::wstring& path, bool with_header,
                        void (*append_export)(ReportList&)) {
  ReportList list;
  if (with_header) list.push_back(L"Windows Registry Editor Version 5.00");
  append_export(list);
  SaveReportFile(list, path);
}

// The console tools take from seconds to a minute, mostly waiting on the
// system: both start with the report and run beside the collectors, and
// their output is taken at their own steps. Whatever of them still runs when
// the report stops is ended with everything it started.
struct ConsoleCaptures {
  explicit ConsoleCaptures(const std::wstring& folder)
      : tasks(SystemToolPlaces(folder), folder + L"taskschd.txt", kScheduledTasksWaitLimit),
        system_info(SystemToolPlaces(folder), kSystemInfoWaitLimit) {}
  ScheduledTasksCapture tasks;
  SystemInfoCapture system_info;
};

void SaveSideReports(const std::wstring& folder, ConsoleCaptures& captures,
                     StorageProfileJob& storage, ProgressReporter& progress) {
  SaveRegistryExport(folder + L"uninstall.txt", true, ExportUninstallKeys);
  progress.Step();  // 7
  SaveRegistryExport(folder + L"boottime.txt", true, ExportBootTimeKeys);
  progress.Step();  // 8
  ReportList volumes;
  AppendDiskVolumes(&volumes);
  SaveReportFile(volumes, folder + L"diskinfo.txt");
  SaveReportFile(storage.Take(ProductInstallPath), folder + L"StorageInfo.txt");
  SaveRegistryExport(folder + L"services.txt", false, ExportServicesKey);
  progress.Step();  // 9
  captures.tasks.Take();
  progress.Step();  // 10
  CopyAppDataSettings(folder);
  progress.Step();  // 11
  ReportList system_info;
  AppendList(system_info, captures.system_info.Take());
  SaveReportFile(system_info, folder + L"SystemInfo.txt");
  progress.Step();  // 12
  SaveProductListing(folder);
  progress.Step();  // 13
  CopyProductFiles(folder);
  progress.Step();  // 14
}

// Everything from preparing the working folder to the archive; a failure
// anywhere here ends the run, and the folder is removed however it ends.
void RunReportSteps(const ReportJobSettings& settings, ProgressReporter& progress) {
  WorkingFolder working_folder = PrepareWorkingFolder(settings.temp_dir, settings.program_file);
  WorkingFolderCleanup cleanup(working_folder);
  const std::wstring& folder = working_folder.path();
  const FileFingerprintCache fingerprints;
  // The storage profile reads devices that may answer slowly: it runs beside
  // everything else from the start and is taken with the disk volumes.
  StorageProfileJob storage;
  ConsoleCaptures captures(folder);
  SaveMainReport(settings, folder, progress);
  SaveSideReports(folder, captures, storage, progress);
  // From the files above, as support will read them; no step of its own.
  SaveFindings(folder);
  // The archive reads the folder by its path: that path must still be ours.
  working_folder.CheckPathLeadsToHeldFolder();
  // Replaces an old archive only once the new one is complete.
  MakeArchive(folder, settings.archive_path, ArchiveOptionsActingAs(DuplicateConsoleShellToken()));
  progress.Step();  // 15: archive
}

// The error's own text and code; ThrowLastError's text names its code already.
std::wstring ErrorText(const std::exception& error) {
  std::string text = error.what();
  const auto* report_error = dynamic_cast<const ReportError*>(&error);
  if (report_error != nullptr && text.find("(error ") == std::string::npos) {
    text += " (error " + std::to_string(report_error->code()) + ")";
  }
  return DecodeCodePage(text, CP_ACP);
}

std::wstring FailureCause(LPARAM step, const std::wstring& error) {
  return L"Step " + std::to_wstring(step) + L" of " + std::to_wstring(kReportSteps) + L": " + error;
}

}  // namespace

ReportJobSettings CurrentJobSettings() {
  return {MainWindowHandle, ArchivePath, GetTempDir(), GetProgramFile()};
}

bool RunReportJob(const ReportJobSettings& settings) {
  InitWow64Entries();
  ProgressReporter progress(settings.window);
  progress.Start();
  bool done = true;
  LPARAM reason = kFailedSaving;
  // Support learns from the failure box what ended the run.
  ReportFailureCause.clear();
  try {
    RunReportSteps(settings, progress);
  } catch (const NoConsoleUser&) {
    done = false;
    reason = kFailedWithoutConsoleUser;
  } catch (const std::exception& error) {
    done = false;
    ReportFailureCause = FailureCause(progress.CurrentStep(), ErrorText(error));
  } catch (...) {
    done = false;
    ReportFailureCause = FailureCause(progress.CurrentStep(), L"an unknown error");
  }
  progress.Finish(done, reason);
  return done;
}

void TGenInfoThread::Execute() {
  RunReportJob(CurrentJobSettings());
}

}  // namespace velmora
