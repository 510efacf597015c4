#include "reports/files/files_report.h"

#include "common/cancellation.h"
#include "common/date_text.h"
#include "common/strings.h"
#include "environment/folders.h"
#include "environment/product_install.h"
#include "reports/files/file_fingerprint.h"
#include "reports/files/find_files.h"

namespace velmora {

std::wstring FilesReportLine(const std::wstring& path, const std::wstring& install_folder) {
  const FileFingerprint fingerprint = GetFileFingerprint(path);
  return path.substr(install_folder.size()) + L"   Ver:" + fingerprint.version + L"   MD5:" +
         fingerprint.md5 + L"   DT:" +
         FormatLocalDateTime(GetFileTimeLocal(path, FileTimeKind::kLastWrite));
}

void AddFilesReport(ReportList& list) {
  try {
    if (!FolderExists(ProductInstallPath)) return;
    const std::wstring install_folder = EnsureTrailingBackslash(ProductInstallPath);
    ReportList found;
    FindFiles(install_folder, found, FindKind::kFiles, L"*.exe|*.dll|*.sys", true);
    if (found.empty()) return;
    list.push_back(kSeparatorLine);
    for (const std::wstring& path : found) {
      ThrowIfCancelled();  // every program file is read whole
      list.push_back(FilesReportLine(path, install_folder));
    }
  } catch (const ReportCancelled&) {
    throw;
  } catch (...) {
    // The lines so far stay; the rest of the report does not depend on these.
  }
}

}  // namespace velmora
