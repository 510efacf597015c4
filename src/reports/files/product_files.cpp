#include "reports/files/product_files.h"

#include <windows.h>

#include <map>

#include "common/cancellation.h"
#include "common/folder_entries.h"
#include "common/no_follow_files.h"
#include "common/strings.h"
#include "environment/app_frame.h"
#include "environment/folders.h"
#include "environment/product_install.h"
#include "environment/wow64.h"

namespace velmora {

namespace {

const std::vector<std::wstring> kNeverCopied = {L"desktop.ini", L"Thumbs.db"};

void AppendFolderFiles(ReportList& list, const std::wstring& folder, const std::wstring& mask,
                       const std::vector<std::wstring>& exclusions) {
  ReportList found;
  ListFolderFiles(folder, mask, exclusions, found);
  AppendList(list, found);
}

// The folders that files are copied from, each opened once below the folder
// it belongs to and held until the copies are done. A file is then opened
// relative to its folder's handle: a folder renamed away and replaced by a
// link once the copying has begun cannot bring another folder's files in.
class HeldSourceFolders {
 public:
  // The held handle of `folder` (without trailing backslash), a real folder
  // below `root`; null when it is not one.
  HANDLE Folder(const std::wstring& root, const std::wstring& folder) {
    const std::wstring key = ToLower(folder);
    auto found = held_.find(key);
    if (found == held_.end()) {
      found = held_.emplace(key, OpenRealFolderHandleBelow(root, folder)).first;
    }
    return found->second.get();
  }

 private:
  std::map<std::wstring, UniqueHandle> held_;
};

// Copies `source`, a file of a folder below `root`, through its folder's held
// handle, and creates the destination's folder below the working folder
// without passing through links. False when nothing was copied.
bool CopyBelow(HeldSourceFolders& sources, const std::wstring& root,
               const std::wstring& working_folder, const std::wstring& source,
               const std::wstring& destination, bool overwrite) {
  const auto [source_folder, name] = SplitAtLastBackslash(source);
  const HANDLE folder = sources.Folder(root, source_folder);
  if (folder == nullptr) return false;
  const UniqueHandle from =
      OpenPlainFileIn(folder, name, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_SEQUENTIAL_SCAN);
  if (!from) return false;
  if (!MakeRealFolderBelow(working_folder, SplitAtLastBackslash(destination).first)) return false;
  return CopyOpenFileNoFollow(from.get(), destination, overwrite);
}

// A product folder as long as it is a real one below the folder it belongs
// to, else empty: a link where the program expects the product's folder
// could lead anywhere, also into another account's files.
std::wstring RealFolderOrEmpty(const std::wstring& root, const std::wstring& folder) {
  return !root.empty() && IsRealFolderBelow(root, folder) ? folder : std::wstring();
}

struct CopyTarget {
  std::wstring root;  // the folder that the source folder must be real below
  std::wstring source_prefix;
  const wchar_t* target;
};

}  // namespace

ProductFolders CurrentProductFolders() {
  ProductFolders folders;
  folders.install = FindProductInstallPath();
  if (AppFrame) {
    folders.app_data = AppFrame->AppDataDir();
    folders.common_app_data = AppFrame->CommonAppDataDir();
  }
  return folders;
}

std::wstring ProductSettingsFolder(const ProductFolders& folders) {
  return RealFolderOrEmpty(folders.app_data, folders.app_data + L"\\Velmora\\Corvane\\");
}

std::wstring DownloaderLogFolder(const ProductFolders& folders) {
  return RealFolderOrEmpty(folders.common_app_data,
                           folders.common_app_data + L"\\Velmora\\Corvane\\Downloader\\");
}

size_t ListFolderFiles(const std::wstring& folder, const std::wstring& mask,
                       const std::vector<std::wstring>& exclusions, ReportList& result) {
  result.clear();
  if (!FolderExists(folder)) return 0;
  const std::wstring path = EnsureTrailingBackslash(folder);
  ForEachFolderEntry(path + mask, [&](const std::wstring& name, const WIN32_FIND_DATAW& entry) {
    // A link is never taken for the file it leads to.
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsLinkEntry(entry)) return;
    bool excluded = false;
    for (const std::wstring& exclusion : exclusions) excluded |= EqualsNoCase(name, exclusion);
    if (!excluded) result.push_back(path + name);
  });
  return result.size();
}

ReportList BuildProductFileList(const ProductFolders& folders) {
  ReportList list;
  const std::wstring& install = folders.install;
  if (!install.empty()) {
    for (const wchar_t* subfolder : {L"Update\\", L"CorvaneReport\\"}) {
      const std::wstring folder = RealFolderOrEmpty(install, install + subfolder);
      if (!folder.empty()) AppendFolderFiles(list, folder, L"*.*", kNeverCopied);
    }
    for (const wchar_t* mask : {L"*.txt", L"*.dmp", L"*.log"}) {
      AppendFolderFiles(list, install, mask, kNeverCopied);
    }
    if (IsPlainFile(install + L"RdmConfig.ini")) list.push_back(install + L"RdmConfig.ini");
  }
  const std::wstring settings = ProductSettingsFolder(folders);
  if (!settings.empty()) AppendFolderFiles(list, settings, L"*.ini", kNeverCopied);
  const std::wstring downloader = DownloaderLogFolder(folders);
  if (!downloader.empty()) AppendFolderFiles(list, downloader, L"*.log", kNeverCopied);
  return list;
}

ReportList BuildProductFileList() {
  return BuildProductFileList(CurrentProductFolders());
}

void CopyAppDataSettings(const std::wstring& working_folder) {
  try {
    FsRedirectionOff native_file_system;
    ProductFolders folders;
    if (AppFrame) folders.app_data = AppFrame->AppDataDir();
    const std::wstring settings = ProductSettingsFolder(folders);
    if (settings.empty()) return;
    ReportList files;
    ListFolderFiles(settings, L"*.ini", {}, files);
    HeldSourceFolders sources;
    for (const std::wstring& file : files) {
      try {
        const std::wstring name = file.substr(settings.size());
        CopyBelow(sources, folders.app_data, working_folder, file,
                  working_folder + L"AppData\\" + name, true);
      } catch (...) {
        // One settings file less; the others are still worth having.
      }
    }
  } catch (...) {
    // The report goes on without the settings.
  }
}

void CopyProductFiles(const std::wstring& working_folder) {
  const ProductFolders folders = CurrentProductFolders();
  const ReportList files = BuildProductFileList(folders);
  const CopyTarget targets[] = {
      {folders.install, folders.install, L"AppPath\\"},
      {folders.app_data, ProductSettingsFolder(folders), L"AppData\\"},
      {folders.common_app_data, DownloaderLogFolder(folders), L"Downloader\\"},
  };
  HeldSourceFolders sources;
  for (const std::wstring& source : files) {
    ThrowIfCancelled();
    try {
      for (const CopyTarget& target : targets) {
        // An unknown folder is no prefix: it would match every path.
        if (target.source_prefix.empty() || !StartsWithNoCase(source, target.source_prefix)) {
          continue;
        }
        const std::wstring relative = source.substr(target.source_prefix.size());
        CopyBelow(sources, target.root, working_folder, source,
                  working_folder + target.target + relative, false);
        break;
      }
    } catch (...) {
      // A file in use or unreadable is simply missing from the archive.
    }
  }
}

}  // namespace velmora
