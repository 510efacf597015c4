#include "reports/files/product_files.h"

#include <windows.h>

#include <algorithm>
#include <map>

#include "common/cancellation.h"
#include "common/no_follow_files.h"
#include "common/relative_files.h"
#include "common/strings.h"
#include "environment/accounts.h"
#include "environment/app_frame.h"
#include "environment/folders.h"
#include "environment/product_install.h"
#include "environment/wow64.h"

namespace velmora {

namespace {

const std::vector<std::wstring> kNeverCopied = {L"desktop.ini", L"Thumbs.db"};

SourceReaderToken g_reader_token = DuplicateConsoleShellToken;

// Whether `folder` is read with the rights of `user`, who may add files to it.
bool ReadsAsUser(const UniqueHandle& user, const std::wstring& folder) {
  return user && UserMayWriteFolder(user.get(), L"", WithoutTrailingBackslash(folder));
}

// The folders that files are listed and copied from, each opened once below
// the folder it belongs to, listed through its handle and held until the
// copies are done; each file is then opened relative to that handle. A folder
// renamed away and replaced by a link, or by another folder, once the listing
// has begun brings no other folder's files in.
//
// The settings and logs live where the user may write, and links there may
// lead to files that only an administrator can read: a folder that the user
// at the console may add files to is opened and listed, and its files
// opened, with that user's rights (their shell's token). A folder they cannot
// change (an administrator's own profile, the installation under the
// programs' folder) holds nothing of theirs and is read with the program's
// own rights, which may read more. Without the token everything is read with
// the program's own rights and the same checks.
class HeldSourceFolders {
 public:
  struct Held {
    UniqueHandle handle;
    std::vector<FolderEntryFacts> entries;
    bool as_user = false;
  };

  HeldSourceFolders() : user_(g_reader_token()) {}

  // The held folder `folder`, a real folder below `root`, with its entries;
  // null when it is not one.
  const Held* Folder(const std::wstring& root, const std::wstring& folder) {
    const std::wstring key = ToLower(WithoutTrailingBackslash(folder));
    auto found = held_.find(key);
    if (found == held_.end()) {
      Held held;
      held.as_user = ReadsAsUser(user_, folder);
      {
        const ActingAsUser as_user(held.as_user ? user_.get() : nullptr);
        held.handle = OpenRealFolderHandleBelow(root, folder);
        // Listed with the same rights: the listing opens the folder once more.
        if (held.handle) ListFolderEntries(held.handle.get(), &held.entries);
      }
      found = held_.emplace(key, std::move(held)).first;
    }
    return found->second.handle ? &found->second : nullptr;
  }

  UniqueHandle OpenFile(const Held& folder, const std::wstring& name) {
    const ActingAsUser as_user(folder.as_user ? user_.get() : nullptr);
    return OpenPlainFileIn(folder.handle.get(), name, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           FILE_FLAG_SEQUENTIAL_SCAN);
  }

 private:
  UniqueHandle user_;
  std::map<std::wstring, Held> held_;
};

// A folder that files are taken from, and where below W they go.
struct ProductSource {
  std::wstring root;  // the folder that `folder` must be real below
  std::wstring folder;
  const wchar_t* names;  // "*" every file, "*.ext" by extension, else one name
  std::wstring target;   // below W, with a trailing backslash
};

bool NameFits(const std::wstring& name, const std::wstring& names) {
  if (names == L"*") return true;
  if (names.rfind(L"*.", 0) != 0) return EqualsNoCase(name, names);
  const std::wstring extension = names.substr(1);
  return name.size() > extension.size() &&
         EqualsNoCase(name.substr(name.size() - extension.size()), extension);
}

bool Excluded(const std::wstring& name, const std::vector<std::wstring>& exclusions) {
  return std::any_of(exclusions.begin(), exclusions.end(),
                     [&](const std::wstring& exclusion) { return EqualsNoCase(name, exclusion); });
}

// Calls `visit` with the held folder and the name of each plain file of the
// source that is taken, in the order of its folder's listing.
template <typename Visit>
void ForEachSourceFile(HeldSourceFolders& sources, const ProductSource& source,
                       const std::vector<std::wstring>& exclusions, Visit visit) {
  if (source.root.empty() || source.folder.empty()) return;
  const HeldSourceFolders::Held* folder = sources.Folder(source.root, source.folder);
  if (folder == nullptr) return;
  for (const FolderEntryFacts& entry : folder->entries) {
    // A link is never taken for the file it leads to.
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || IsLinkListed(entry) ||
        !NameFits(entry.name, source.names) || Excluded(entry.name, exclusions)) {
      continue;
    }
    visit(*folder, entry.name);
  }
}

// In the order of the file list: no subfolders are walked.
std::vector<ProductSource> ProductSources(const ProductFolders& folders) {
  const std::wstring& install = folders.install;
  const std::wstring settings = ProductSettingsFolder(folders);
  std::vector<ProductSource> sources;
  if (!install.empty()) {
    sources.push_back({install, install + L"Update\\", L"*", L"AppPath\\Update\\"});
    sources.push_back({install, install + L"CorvaneReport\\", L"*", L"AppPath\\CorvaneReport\\"});
    for (const wchar_t* names : {L"*.txt", L"*.dmp", L"*.log", L"RdmConfig.ini"}) {
      sources.push_back({install, install, names, L"AppPath\\"});
    }
  }
  sources.push_back({folders.app_data, settings, L"*.ini", L"AppData\\"});
  sources.push_back(
      {folders.common_app_data, DownloaderLogFolder(folders), L"*.log", L"Downloader\\"});
  return sources;
}

// Copies the file `name` of a held folder, opened relative to its handle, and
// creates the destination's folder below the working folder without passing
// through links. False when nothing was copied.
bool CopyFromHeld(HeldSourceFolders& sources, const HeldSourceFolders::Held& folder,
                  const std::wstring& name, const std::wstring& working_folder,
                  const std::wstring& destination, bool overwrite) {
  const UniqueHandle from = sources.OpenFile(folder, name);
  if (!from) return false;
  // Written with the program's own rights: the working folder is its own.
  if (!MakeRealFolderBelow(working_folder, SplitAtLastBackslash(destination).first)) return false;
  return CopyOpenFileNoFollow(from.get(), destination, overwrite);
}

// A product folder as long as it is a real one below the folder it belongs
// to, else empty: a link where the program expects the product's folder
// could lead anywhere, also into another account's files.
std::wstring RealFolderOrEmpty(const std::wstring& root, const std::wstring& folder) {
  return !root.empty() && IsRealFolderBelow(root, folder) ? folder : std::wstring();
}

}  // namespace

SourceReaderToken SetSourceReaderToken(SourceReaderToken source) {
  const SourceReaderToken previous = g_reader_token;
  g_reader_token = source != nullptr ? source : DuplicateConsoleShellToken;
  return previous;
}

UniqueHandle SourceReaderFor(const std::wstring& folder) {
  UniqueHandle user = g_reader_token();
  return ReadsAsUser(user, folder) ? std::move(user) : UniqueHandle();
}

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

ReportList BuildProductFileList(const ProductFolders& folders) {
  ReportList list;
  HeldSourceFolders sources;
  for (const ProductSource& source : ProductSources(folders)) {
    ForEachSourceFile(sources, source, kNeverCopied,
                      [&](const HeldSourceFolders::Held&, const std::wstring& name) {
                        list.push_back(EnsureTrailingBackslash(source.folder) + name);
                      });
  }
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
    const ProductSource settings = {folders.app_data, ProductSettingsFolder(folders), L"*.ini",
                                    L"AppData\\"};
    HeldSourceFolders sources;
    ForEachSourceFile(sources, settings, {},
                      [&](const HeldSourceFolders::Held& folder, const std::wstring& name) {
                        try {
                          CopyFromHeld(sources, folder, name, working_folder,
                                       working_folder + settings.target + name, true);
                        } catch (...) {
                          // One settings file less; the others are still worth having.
                        }
                      });
  } catch (...) {
    // The report goes on without the settings.
  }
}

void CopyProductFiles(const std::wstring& working_folder) {
  HeldSourceFolders sources;
  for (const ProductSource& source : ProductSources(CurrentProductFolders())) {
    ForEachSourceFile(sources, source, kNeverCopied,
                      [&](const HeldSourceFolders::Held& folder, const std::wstring& name) {
                        ThrowIfCancelled();
                        try {
                          CopyFromHeld(sources, folder, name, working_folder,
                                       working_folder + source.target + name, false);
                        } catch (...) {
                          // A file in use or unreadable is simply missing from the archive.
                        }
                      });
  }
}

}  // namespace velmora
