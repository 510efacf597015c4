// The product's own files copied into the report's working folder: its update
// files, crash reports, text, dump and log files and settings ("AppPath\"),
// the settings of the account that runs the program ("AppData\") and the
// downloader's logs ("Downloader\"). Each keeps its name and, below the folder
// it came from, its relative path.
#pragma once

#include <string>
#include <vector>

#include "common/handles.h"
#include "common/report_list.h"

namespace velmora {

struct ProductFolders {
  std::wstring install;          // the installation folder with a trailing backslash, or empty
  std::wstring app_data;         // the roaming application-data folder, or empty
  std::wstring common_app_data;  // the application-data folder of all users, or empty
};

// The installation that the uninstall entries name and the folders of the
// program's TAppFrame.
ProductFolders CurrentProductFolders();

// "<app data>\Velmora\Corvane\" and "<common app data>\Velmora\Corvane\Downloader\";
// empty when the application-data folder is unknown, so that no search ever
// starts at the root of the current drive instead.
std::wstring ProductSettingsFolder(const ProductFolders& folders);
std::wstring DownloaderLogFolder(const ProductFolders& folders);

// The files to copy, in order: the installation's "Update\" and
// "CorvaneReport\" folders, its *.txt, *.dmp and *.log files and its
// "RdmConfig.ini", the settings' *.ini and the downloader's *.log files. No
// subfolders; "desktop.ini" and "Thumbs.db" never.
ReportList BuildProductFileList(const ProductFolders& folders);
ReportList BuildProductFileList();

// Where the token comes from that the product's folders and files are
// listed and opened with (the console user's, so that a link to a file only
// an administrator may read is refused); a test gives its own. Without a
// token they are opened with the program's own rights. Returns the one replaced.
using SourceReaderToken = UniqueHandle (*)();
SourceReaderToken SetSourceReaderToken(SourceReaderToken source);

// The token that `folder` and what lies below it are read with: the console
// user's where that user may add files to it, else none (the program's own
// rights).
UniqueHandle SourceReaderFor(const std::wstring& folder);

// Copies the settings' *.ini files to W + "AppData\", replacing what is there,
// with WOW64 file-system redirection off. Never fails.
void CopyAppDataSettings(const std::wstring& working_folder);

// Copies every file of the product file list below W ("AppPath\", "AppData\"
// or "Downloader\" after the folder it came from), keeping files that are
// already there. A copy that fails is left out.
void CopyProductFiles(const std::wstring& working_folder);

}  // namespace velmora
