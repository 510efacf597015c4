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

namespace {

void WriteAll(HANDLE file, const std::string& bytes) {
  size_t written_total = 0;
  while (written_total < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written_total, 1 << 20));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + written_total, chunk, &written, nullptr) ||
        written != chunk) {
      ThrowLastError("cannot write report file");
    }
    written_total += written;
  }
}

// A new file: what stood at the path before, a link included, is not written through.
UniqueHandle CreateReportFile(const std::wstring& path) {
  UniqueHandle file = CreateFreshFile(path);
  if (!file) ThrowLastError("cannot create report file");
  return file;
}

}  // namespace

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  WriteAll(CreateReportFile(path).get(), bytes);
}

void SaveReportFile(const ReportList& list, const std::wstring& path) {
  // Encoded and written a piece at a time: the list may hold many megabytes,
  // and a second copy of it all would double what the report costs.
  constexpr size_t kPieceBytes = 1 << 20;
  const UniqueHandle file = CreateReportFile(path);
  std::string piece = "\xFF\xFE";
  for (const std::wstring& entry : list) {
    AppendUtf16Le(piece, entry);
    AppendUtf16Le(piece, L"\r\n");
    if (piece.size() >= kPieceBytes) {
      WriteAll(file.get(), piece);
      piece.clear();
    }
  }
  WriteAll(file.get(), piece);
}

}  // namespace velmora
