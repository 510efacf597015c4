#include "reports/files/product_listing.h"

#include <windows.h>

#include <deque>

#include "common/cancellation.h"
#include "common/handles.h"
#include "common/no_follow_files.h"
#include "common/registry_value.h"
#include "common/relative_files.h"
#include "common/report_file.h"
#include "common/strings.h"
#include "environment/folders.h"
#include "environment/product_install.h"
#include "reports/files/file_fingerprint.h"
#include "reports/files/visited_folders.h"

namespace velmora {

namespace {

struct InstallLocation {
  bool text = true;  // false for a value of another type
  std::wstring folder;
};

InstallLocation ReadInstallLocation(HKEY entry) {
  const std::optional<RegistryData> value = ReadRegistryData(entry, L"InstallLocation");
  if (!value) return {};
  if (!IsRegistryTextType(value->type)) return {false, L""};
  const std::wstring folder = RegistryDataText(value->bytes);
  return {true, folder.empty() ? folder : EnsureTrailingBackslash(folder)};
}

// "<path>=<size>" becomes "<path>, <version>, <size>, <MD5>".
std::wstring ListingLine(const std::wstring& tree_entry) {
  const size_t equals = tree_entry.rfind(L'=');
  const std::wstring path = tree_entry.substr(0, equals);
  const std::wstring size = tree_entry.substr(equals + 1);
  const FileFingerprint fingerprint = GetFileFingerprint(path);
  return path + L", " + fingerprint.version + L", " + size + L", " + fingerprint.md5;
}

}  // namespace

ReportList ListFolderTree(const std::wstring& folder) {
  ReportList tree;
  if (!FolderExists(folder)) return tree;
  // Each folder waits with its handle held, opened relative to the folder it
  // was listed in: no name is looked up again on the way down.
  struct Waiting {
    std::wstring path;  // with a trailing backslash
    UniqueHandle handle;
  };
  std::deque<Waiting> queue;
  queue.push_back({EnsureTrailingBackslash(folder), OpenHeldFolder(folder)});
  VisitedFolders visited;
  visited.FirstVisit(queue.front().handle.get());
  while (!queue.empty()) {
    const Waiting current = std::move(queue.front());
    queue.pop_front();
    std::vector<FolderEntryFacts> entries;
    // A folder that cannot be searched ends the whole walk.
    if (!current.handle || !ListFolderEntries(current.handle.get(), &entries)) break;
    for (const FolderEntryFacts& entry : entries) {
      if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        tree.push_back(current.path + entry.name + L"=" + std::to_wstring(entry.size));
        continue;
      }
      // Never into a link: it may lead out of the installation.
      if (IsLinkListed(entry)) continue;
      UniqueHandle subfolder = OpenListedFolderIn(current.handle.get(), entry);
      if (subfolder && !visited.FirstVisit(subfolder.get())) continue;
      queue.push_back({current.path + entry.name + L"\\", std::move(subfolder)});
    }
  }
  return tree;
}

ReportList ListProductInstallation(const std::wstring& uninstall_entry,
                                   const std::wstring& heading) {
  ReportList block = {L"", heading, L""};
  InstallLocation location;
  {
    const UniqueRegKey entry = OpenUninstallEntry(uninstall_entry);
    if (!entry) return block;
    location = ReadInstallLocation(entry.get());
  }
  // A location of another type says as little as an entry that cannot be
  // read: it gives the bare heading rather than stopping the whole report.
  if (!location.text) return block;
  const ReportList tree = ListFolderTree(location.folder);
  if (tree.empty()) return {};
  for (const std::wstring& file : tree) {
    ThrowIfCancelled();  // hashing a large installation takes a while
    block.push_back(ListingLine(file));
  }
  return block;
}

void SaveProductListing(const std::wstring& working_folder) {
  ReportList listing;
  for (const ProductListingRow& row : kProductListing) {
    AppendList(listing, ListProductInstallation(row.uninstall_entry, row.heading));
  }
  SaveReportFile(listing, working_folder + L"FilesInfo.txt");
}

}  // namespace velmora
