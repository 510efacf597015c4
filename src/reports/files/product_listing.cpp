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
#include "environment/accounts.h"
#include "environment/folders.h"
#include "environment/product_install.h"
#include "reports/files/file_fingerprint.h"
#include "reports/files/product_files.h"
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

// "<path>, <version>, <size>, <MD5>", the file read relative to the folder
// that the walk holds.
std::wstring ListingLine(const FoundEntry& found) {
  const FileFingerprint fingerprint =
      GetFileFingerprintIn(found.folder, found.entry.name, found.path);
  return found.path + L", " + fingerprint.version + L", " + std::to_wstring(found.entry.size) +
         L", " + fingerprint.md5;
}

}  // namespace

void WalkFolderTree(const std::wstring& folder, const FoundEntryVisitor& visit) {
  if (!FolderExists(folder)) return;
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
        visit({current.path + entry.name, current.handle.get(), entry});
        continue;
      }
      // Never into a link: it may lead out of the installation.
      if (IsLinkListed(entry)) continue;
      UniqueHandle subfolder = OpenListedFolderIn(current.handle.get(), entry);
      if (subfolder && !visited.FirstVisit(subfolder.get())) continue;
      queue.push_back({current.path + entry.name + L"\\", std::move(subfolder)});
    }
  }
}

ReportList ListFolderTree(const std::wstring& folder) {
  ReportList tree;
  WalkFolderTree(folder, [&tree](const FoundEntry& found) {
    tree.push_back(found.path + L"=" + std::to_wstring(found.entry.size));
  });
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
  const size_t heading_lines = block.size();
  // Each file is read while the walk holds the folder it was listed in, with
  // the user's rights where the user may add files (see the files report).
  const UniqueHandle reader = SourceReaderFor(location.folder);
  const ActingAsUser as_user(reader.get());
  WalkFolderTree(location.folder, [&block](const FoundEntry& found) {
    ThrowIfCancelled();  // hashing a large installation takes a while
    block.push_back(ListingLine(found));
  });
  if (block.size() == heading_lines) return {};
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
