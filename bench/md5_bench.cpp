// Times GetFileMd5 on one file, or the MD5 core on a buffer in memory, and
// prints what it measured for bench/md5_bench.py:
//   md5_bench.exe FILE [VIEW]     GetFileMd5 (optionally with another view size):
//                                 digest, wall seconds, CPU seconds of the thread
//   md5_bench.exe --read FILE     the same for the core fed by ReadFile through a
//                                 1 MiB buffer, as a reference for the mapping
//   md5_bench.exe --core SECONDS  MB/s of the core on 16 KiB blocks, by CPU time
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/handles.h"
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

std::wstring HashThroughReadFile(const std::wstring& path) {
  velmora::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  std::vector<unsigned char> buffer(1 << 20);
  velmora::Md5Context context;
  velmora::Md5Init(context);
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
         read > 0) {
    velmora::Md5Update(context, buffer.data(), read);
  }
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
  if (argc == 3 && first == L"--read") {
    return TimeFileHash([&] { return HashThroughReadFile(argv[2]); });
  }
  if (argc == 2 || argc == 3) {
    const size_t view = argc == 3 ? static_cast<size_t>(_wtoi64(argv[2])) : velmora::kMd5ViewSize;
    return TimeFileHash([&] { return velmora::GetFileMd5(first, view); });
  }
  std::fwprintf(stderr, L"usage: md5_bench FILE [VIEW] | --read FILE | --core SECONDS\n");
  return 2;
}
