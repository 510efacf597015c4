#include "common/report_file.h"

#include <algorithm>

#include <windows.h>

#include "common/errors.h"
#include "common/handles.h"
#include "common/no_follow_files.h"

namespace velmora {

namespace {

void AppendUtf16Le(std::string& out, std::wstring_view text) {
  for (wchar_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
}

}  // namespace

std::string EncodeReportFile(const ReportList& list) {
  std::string bytes = "\xFF\xFE";
  for (const std::wstring& entry : list) {
    AppendUtf16Le(bytes, entry);
    AppendUtf16Le(bytes, L"\r\n");
  }
  return bytes;
}

std::string ReadWholeFile(const std::wstring& path, size_t limit) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file) return bytes;
  char buffer[64 * 1024];
  DWORD read = 0;
  while (bytes.size() < limit &&
         ::ReadFile(file.get(), buffer,
                    static_cast<DWORD>(std::min<size_t>(sizeof(buffer), limit - bytes.size())),
                    &read, nullptr) &&
         read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  // A new file: what stood at the path before, a link included, is not written through.
  UniqueHandle file = CreateFreshFile(path);
  if (!file) ThrowLastError("cannot create report file");
  size_t written_total = 0;
  while (written_total < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written_total, 1 << 20));
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data() + written_total, chunk, &written, nullptr) ||
        written != chunk) {
      ThrowLastError("cannot write report file");
    }
    written_total += written;
  }
}

void SaveReportFile(const ReportList& list, const std::wstring& path) {
  WriteWholeFile(path, EncodeReportFile(list));
}

}  // namespace velmora
