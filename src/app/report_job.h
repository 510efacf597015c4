// The report job: one run gathers every report into a working folder, packs
// it into the archive, removes the folder and tells the window how it ended.
#pragma once

#include <windows.h>

#include <string>

#include "ui/thread.h"

namespace velmora {

struct ReportJobSettings {
  HWND window;                // receives WM_REPORT_PROGRESS
  std::wstring archive_path;  // where the archive goes
  std::wstring temp_dir;      // with trailing backslash
  std::wstring program_file;  // the program's own file, for its version and folder
};

// The settings of a real run: the main window, ArchivePath and the platform's folders.
ReportJobSettings CurrentJobSettings();

// Runs one report on the calling thread; true when it ended with done.
bool RunReportJob(const ReportJobSettings& settings);

class TGenInfoThread : public ui::Thread {
 protected:
  void Execute() override;
};

}  // namespace velmora
