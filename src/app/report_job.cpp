#include "app/report_job.h"

#include <shellapi.h>

#include "app/app_state.h"
#include "app/report_progress.h"
#include "common/date_text.h"
#include "common/report_file.h"
#include "common/report_list.h"
#include "common/strings.h"
#include "environment/folders.h"
#include "environment/version_resource.h"
#include "environment/wow64.h"

namespace velmora {

namespace {

constexpr wchar_t kWorkingFolderName[] = L"GetInfoDir\\";

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

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

// Steps 4 to 27 of a run; a failure anywhere here ends the run.
void RunReportSteps(const ReportJobSettings& settings, ProgressReporter& progress) {
  const std::wstring folder = PrepareWorkingFolder(settings.temp_dir, settings.program_file);
  WorkingFolderCleanup cleanup(folder);
  ReportList list;
  list.push_back(L"Version:" + GetFileVersionString(settings.program_file, L"Unknown"));
  AddDateLine(list);
  progress.Step();  // 1: system summary
  list.push_back(kSeparatorLine);
  progress.Step();  // 2: processes and memory
  progress.Step();  // 3: services
  list.push_back(kSeparatorLine);
  progress.Step();  // 4: browser helper objects
  list.push_back(kSeparatorLine);
  progress.Step();  // 5: security products and firewall
  progress.Step();  // 6: files report
  SaveReportFile(list, folder + L"Velmora_Debug_Info.txt");
  for (int step = 7; step <= kReportSteps; ++step) progress.Step();
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
