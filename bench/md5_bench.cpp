// Times GetFileMd5 on one file, or the MD5 core on a buffer in memory, and
// prints what it measured for bench/md5_bench.py:
//   md5_bench.exe FILE [PIECE]    GetFileMd5 (optionally with another piece size):
//                                 digest, wall seconds, CPU seconds of the thread
//   md5_bench.exe --mapped FILE   the same for the core fed through 16 MiB mapped
//                                 views, as a reference for reading instead
//   md5_bench.exe --core SECONDS  MB/s of the core on 16 KiB blocks, by CPU time
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/mapped_file.h"
#include "reports/files/file_fingerprint.h"
#include "reports/files/md5.h"

namespace {

double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

double WallSeconds() {
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Hash>
int TimeFileHash(Hash hash) {
  const double wall = WallSeconds();
  const double cpu = ThreadCpuSeconds();
  const std::wstring digest = hash();
  std::wprintf(L"digest %ls\nwall %.6f\ncpu %.6f\n", digest.c_str(), WallSeconds() - wall,
               ThreadCpuSeconds() - cpu);
  return 0;
}

std::wstring HashThroughMapping(const std::wstring& path) {
  velmora::Md5Context context;
  velmora::Md5Init(context);
  velmora::ReadThroughMapping(path, 16 << 20, [&](const unsigned char* data, size_t size) {
    velmora::Md5Update(context, data, size);
  });
  unsigned char digest[velmora::kMd5DigestSize];
  velmora::Md5Final(context, digest);
  return velmora::Md5DigestText(digest);
}

// Like "openssl speed": the same 16 KiB block again and again, timed by the
// CPU time of the thread so that other load on the machine does not count.
int HashInMemory(double seconds) {
  std::vector<unsigned char> block(16384);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 131 + 7);
  velmora::Md5Context context;
  velmora::Md5Init(context);
  const double start = ThreadCpuSeconds();
  unsigned long long bytes = 0;
  double spent = 0;
  while (spent < seconds) {
    for (int i = 0; i < 256; ++i) velmora::Md5Update(context, block.data(), block.size());
    bytes += 256ull * block.size();
    spent = ThreadCpuSeconds() - start;
  }
  unsigned char digest[velmora::kMd5DigestSize];
  velmora::Md5Final(context, digest);
  std::wprintf(L"core %.1f\n", static_cast<double>(bytes) / spent / 1e6);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring first = argc > 1 ? argv[1] : L"";
  if (argc == 3 && first == L"--core") return HashInMemory(_wtof(argv[2]));
  if (argc == 3 && first == L"--mapped") {
    return TimeFileHash([&] { return HashThroughMapping(argv[2]); });
  }
  if (argc == 2 || argc == 3) {
    const size_t piece = argc == 3 ? static_cast<size_t>(_wtoi64(argv[2])) : velmora::kMd5PieceSize;
    return TimeFileHash([&] { return velmora::GetFileMd5(first, piece); });
  }
  std::fwprintf(stderr, L"usage: md5_bench FILE [PIECE] | --mapped FILE | --core SECONDS\n");
  return 2;
}
