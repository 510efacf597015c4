#include "app/report_job.h"

#include <shellapi.h>

#include "app/app_state.h"
#include "app/archive/make_archive.h"
#include "app/report_progress.h"
#include "common/date_text.h"
#include "common/report_file.h"
#include "common/report_list.h"
#include "common/strings.h"
#include "environment/folders.h"
#include "environment/product_install.h"
#include "environment/version_resource.h"
#include "environment/wow64.h"
#include "reports/registry/bho_report.h"
#include "reports/registry/registry_exports.h"
#include "reports/system/command_captures.h"
#include "reports/system/disk_volumes.h"
#include "reports/system/process_report.h"
#include "reports/system/system_summary.h"

namespace velmora {

namespace {

constexpr wchar_t kWorkingFolderName[] = L"GetInfoDir\\";

// Creates the folder and any missing parents.
void CreateFolderTree(const std::wstring& folder) {
  const std::wstring path = WithoutTrailingBackslash(folder);
  if (path.empty() || FolderExists(path)) return;
  const auto [parent, name] = SplitAtLastBackslash(path);
  if (!parent.empty() && parent != path) CreateFolderTree(parent);
  ::CreateDirectoryW(path.c_str(), nullptr);
}

class ProgressReporter {
 public:
  explicit ProgressReporter(HWND window) : window_(window) {}
  void Start() { ::SendMessageW(window_, WM_REPORT_PROGRESS, kProgressStart, kReportSteps); }
  void Step() { ::PostMessageW(window_, WM_REPORT_PROGRESS, kProgressStep, ++counter_); }
  void Finish(bool done) {
    ::SendMessageW(window_, WM_REPORT_PROGRESS, done ? kProgressDone : kProgressFailed, 0);
  }

 private:
  HWND window_;
  LPARAM counter_ = 0;
};

// Removes the working folder however the run's steps end.
class WorkingFolderCleanup {
 public:
  explicit WorkingFolderCleanup(const std::wstring& folder) : folder_(folder) {}
  ~WorkingFolderCleanup() { RemoveFolder(folder_); }
  WorkingFolderCleanup(const WorkingFolderCleanup&) = delete;
  WorkingFolderCleanup& operator=(const WorkingFolderCleanup&) = delete;

 private:
  std::wstring folder_;
};

void AddDateLine(ReportList& list) {
  try {
    list.push_back(L"Date:" + FormatCurrentLocalDateTime());
  } catch (...) {
    // Without a date the report is still worth having.
  }
}

// Steps whose collectors the program does not have yet still post their
// marks, so that the bar always runs through all fifteen.
void SaveMainReport(const ReportJobSettings& settings, const std::wstring& folder,
                    ProgressReporter& progress) {
  ReportList list;
  list.push_back(L"Version:" + GetFileVersionString(settings.program_file, L"Unknown"));
  AddDateLine(list);
  AppendList(list, GetSystemSummary());
  progress.Step();  // 1
  list.push_back(kSeparatorLine);
  list.push_back(GetProcessReport());
  progress.Step();  // 2
  progress.Step();  // 3: services
  list.push_back(kSeparatorLine);
  AppendList(list, GetBhoReport());
  progress.Step();  // 4
  list.push_back(kSeparatorLine);
  progress.Step();  // 5: security products and firewall
  ProductInstallPath = FindProductInstallPath();
  progress.Step();  // 6: product files
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

void SaveSideReports(const std::wstring& folder, ProgressReporter& progress) {
  SaveRegistryExport(folder + L"uninstall.txt", true, ExportUninstallKeys);
  progress.Step();  // 7
  SaveRegistryExport(folder + L"boottime.txt", true, ExportBootTimeKeys);
  progress.Step();  // 8
  ReportList volumes;
  AppendDiskVolumes(&volumes);
  SaveReportFile(volumes, folder + L"diskinfo.txt");
  SaveRegistryExport(folder + L"services.txt", false, ExportServicesKey);
  progress.Step();  // 9
  CaptureScheduledTasks(folder + L"taskschd.txt");
  progress.Step();  // 10
  progress.Step();  // 11: settings
  ReportList system_info;
  AppendList(system_info, CaptureSystemInfo());
  SaveReportFile(system_info, folder + L"SystemInfo.txt");
  progress.Step();  // 12
  progress.Step();  // 13: product listing
  progress.Step();  // 14: product files
}

// Everything from preparing the working folder to the archive; a failure
// anywhere here ends the run, and the folder is removed however it ends.
void RunReportSteps(const ReportJobSettings& settings, ProgressReporter& progress) {
  const std::wstring folder = PrepareWorkingFolder(settings.temp_dir, settings.program_file);
  WorkingFolderCleanup cleanup(folder);
  SaveMainReport(settings, folder, progress);
  SaveSideReports(folder, progress);
  // Replaces an old archive only once the new one is complete.
  MakeArchive(folder, settings.archive_path);
  progress.Step();  // 15: archive
}

}  // namespace

std::wstring PrepareWorkingFolder(const std::wstring& temp_dir, const std::wstring& program_file) {
  std::wstring folder = temp_dir + kWorkingFolderName;
  if (FolderExists(folder)) RemoveFolder(folder);
  if (!FolderExists(folder)) CreateFolderTree(folder);
  if (!FolderExists(folder)) {
    folder = EnsureTrailingBackslash(SplitAtLastBackslash(program_file).first) + kWorkingFolderName;
  }
  return EnsureTrailingBackslash(folder);
}

bool RemoveFolder(const std::wstring& folder) {
  // The shell takes a list of paths ended by an empty one: two NULs.
  std::wstring from = WithoutTrailingBackslash(folder);
  from.append(2, L'\0');
  SHFILEOPSTRUCTW operation = {};
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.pTo = L"";
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  return ::SHFileOperationW(&operation) == 0;
}

ReportJobSettings CurrentJobSettings() {
  return {MainWindowHandle, ArchivePath, GetTempDir(), GetProgramFile()};
}

bool RunReportJob(const ReportJobSettings& settings) {
  InitWow64Entries();
  ProgressReporter progress(settings.window);
  progress.Start();
  bool done = true;
  try {
    RunReportSteps(settings, progress);
  } catch (...) {
    done = false;
  }
  progress.Finish(done);
  return done;
}

void TGenInfoThread::Execute() { RunReportJob(CurrentJobSettings()); }

}  // namespace velmora
