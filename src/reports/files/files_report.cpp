#include "reports/files/files_report.h"

#include "common/cancellation.h"
#include "common/date_text.h"
#include "common/relative_files.h"
#include "common/strings.h"
#include "environment/accounts.h"
#include "environment/folders.h"
#include "environment/product_install.h"
#include "reports/files/file_fingerprint.h"
#include "reports/files/find_files.h"
#include "reports/files/product_files.h"

namespace velmora {

namespace {

// "<relative path>   Ver:<version>   MD5:<digest>   DT:<date text>".
std::wstring LineText(const std::wstring& path, const std::wstring& install_folder,
                      const FileFingerprint& fingerprint, const SYSTEMTIME& written) {
  return path.substr(install_folder.size()) + L"   Ver:" + fingerprint.version + L"   MD5:" +
         fingerprint.md5 + L"   DT:" + FormatLocalDateTime(written);
}

// The date of a file that cannot be read (another program holds it without
// read sharing) is still the file's own: it is asked of a handle that reads
// nothing but the attributes, opened as itself relative to the same folder.
UniqueHandle OpenForItsDate(HANDLE folder, const std::wstring& name) {
  return OpenChild(folder, name, FILE_READ_ATTRIBUTES,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_NON_DIRECTORY_FILE);
}

}  // namespace

std::wstring FilesReportLine(const FoundEntry& found, const std::wstring& install_folder) {
  UniqueHandle file = OpenFileToFingerprint(found.folder, found.entry.name);
  const FileFingerprint fingerprint = GetFileFingerprint(file.get(), found.path);
  if (!file) file = OpenForItsDate(found.folder, found.entry.name);
  return LineText(found.path, install_folder, fingerprint,
                  GetFileTimeLocal(file.get(), FileTimeKind::kLastWrite));
}

void AddFilesReport(ReportList& list) {
  try {
    if (!FolderExists(ProductInstallPath)) return;
    const std::wstring install_folder = EnsureTrailingBackslash(ProductInstallPath);
    // Links where the user may add files may lead to files that only an
    // administrator may read: such an installation is read with the user's rights.
    const UniqueHandle reader = SourceReaderFor(install_folder);
    const ActingAsUser as_user(reader.get());
    bool separated = false;
    // Each file is read while the walk holds the folder it was found in.
    FindFiles(install_folder, FindKind::kFiles, L"*.exe|*.dll|*.sys", true,
              [&](const FoundEntry& found) {
                ThrowIfCancelled();  // every program file is read whole
                if (!separated) list.push_back(kSeparatorLine);
                separated = true;
                list.push_back(FilesReportLine(found, install_folder));
              });
  } catch (const ReportCancelled&) {
    throw;
  } catch (...) {
    // The lines so far stay; the rest of the report does not depend on these.
  }
}

}  // namespace velmora
