// Archives a folder with MakeArchive, so that the end-to-end test and the
// benchmark can hand the result to other ZIP readers.
//   archive_tool FOLDER ARCHIVE [--threads N] [--max32 N] [--max16 N]
// Prints "files: <count>".
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/archive/make_archive.h"

namespace {

std::wstring WindowsPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;  // a Unix path
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: archive_tool FOLDER ARCHIVE [--threads N] [--max32 N] [--max16 N]\n");
    return 2;
  }
  velmora::ArchiveOptions options = velmora::DefaultArchiveOptions();
  for (int i = 3; i + 1 < argc; i += 2) {
    const unsigned long long value = std::wcstoull(argv[i + 1], nullptr, 10);
    if (std::wcscmp(argv[i], L"--threads") == 0) options.deflate_threads = static_cast<unsigned>(value);
    if (std::wcscmp(argv[i], L"--max32") == 0) options.limits.max32 = value;
    if (std::wcscmp(argv[i], L"--max16") == 0) options.limits.max16 = value;
  }
  try {
    const size_t count = velmora::MakeArchive(WindowsPath(argv[1]), WindowsPath(argv[2]), options);
    std::printf("files: %zu\n", count);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "archive failed: %s\n", e.what());
    return 1;
  }
}
