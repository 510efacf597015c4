#include "common/strings.h"
#include "reports/findings/findings_facts.h"
#include "reports/findings/findings_text.h"

namespace velmora {

namespace {

// "path, version, size, md5": read from the right, since a path may hold ", ".
std::optional<ListedFile> ListedFileOf(const std::wstring& line) {
  const size_t md5 = line.rfind(L", ");
  if (md5 == std::wstring::npos || md5 == 0) return std::nullopt;
  const size_t size = line.rfind(L", ", md5 - 1);
  if (size == std::wstring::npos || size == 0) return std::nullopt;
  const size_t version = line.rfind(L", ", size - 1);
  if (version == std::wstring::npos) return std::nullopt;
  return ListedFile{line.substr(0, version), line.substr(version + 2, size - version - 2)};
}

// The deepest folder that holds every file of the block.
std::wstring CommonFolder(const std::vector<ListedFile>& files) {
  std::wstring folder;
  bool first = true;
  for (const ListedFile& file : files) {
    const std::wstring own = SplitAtLastBackslash(file.path).first + L"\\";
    if (first) {
      folder = own;
      first = false;
      continue;
    }
    size_t same = 0;
    while (same < folder.size() && same < own.size() &&
           EqualsNoCase(folder.substr(same, 1), own.substr(same, 1))) {
      ++same;
    }
    folder.resize(folder.rfind(L'\\', same == 0 ? 0 : same - 1) + 1);
  }
  return folder;
}

}  // namespace

std::vector<ListedInstallation> ParseProductListing(const ReportList& lines) {
  std::vector<ListedInstallation> installations;
  for (const std::wstring& line : lines) {
    if (StartsWith(line, L"===== ")) {
      installations.push_back({line, {}, {}});
    } else if (!line.empty() && !installations.empty()) {
      if (auto file = ListedFileOf(line)) installations.back().files.push_back(std::move(*file));
    }
  }
  for (ListedInstallation& installation : installations) {
    installation.folder = CommonFolder(installation.files);
  }
  return installations;
}

}  // namespace velmora
