// The program's MD5 core built for the Linux machine that runs the benchmark,
// so that it meets OpenSSL and md5sum without Wine in between. It reads the
// file the way GetFileMd5 does: through a read-only mapping, one view of
// 16 MiB at a time.
//   md5_native FILE            digest, wall seconds, CPU seconds of the thread
//   md5_native --core SECONDS  MB/s of the core on 16 KiB blocks, by CPU time
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "reports/files/md5.h"

namespace {

constexpr size_t kViewSize = 16 << 20;

double Seconds(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::string Text(const std::wstring& wide) {
  return std::string(wide.begin(), wide.end());
}

int HashFile(const char* path) {
  const double wall = Seconds(CLOCK_MONOTONIC);
  const double cpu = Seconds(CLOCK_THREAD_CPUTIME_ID);
  velmora::Md5Context context;
  velmora::Md5Init(context);
  const int file = open(path, O_RDONLY);
  struct stat info;
  if (file < 0 || fstat(file, &info) != 0) return 1;
  const size_t size = static_cast<size_t>(info.st_size);
  for (size_t offset = 0; offset < size; offset += kViewSize) {
    const size_t length = size - offset < kViewSize ? size - offset : kViewSize;
    void* view = mmap(nullptr, length, PROT_READ, MAP_SHARED, file, static_cast<off_t>(offset));
    if (view == MAP_FAILED) return 1;
    velmora::Md5Update(context, view, length);
    munmap(view, length);
  }
  close(file);
  unsigned char digest[velmora::kMd5DigestSize];
  velmora::Md5Final(context, digest);
  std::printf("digest %s\nwall %.6f\ncpu %.6f\n", Text(velmora::Md5DigestText(digest)).c_str(),
              Seconds(CLOCK_MONOTONIC) - wall, Seconds(CLOCK_THREAD_CPUTIME_ID) - cpu);
  return 0;
}

int HashInMemory(double seconds) {
  std::vector<unsigned char> block(16384);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 131 + 7);
  velmora::Md5Context context;
  velmora::Md5Init(context);
  const double start = Seconds(CLOCK_THREAD_CPUTIME_ID);
  unsigned long long bytes = 0;
  double spent = 0;
  while (spent < seconds) {
    for (int i = 0; i < 256; ++i) velmora::Md5Update(context, block.data(), block.size());
    bytes += 256ull * block.size();
    spent = Seconds(CLOCK_THREAD_CPUTIME_ID) - start;
  }
  unsigned char digest[velmora::kMd5DigestSize];
  velmora::Md5Final(context, digest);
  std::printf("core %.1f\n", static_cast<double>(bytes) / spent / 1e6);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--core") == 0) return HashInMemory(std::atof(argv[2]));
  if (argc == 2) return HashFile(argv[1]);
  std::fprintf(stderr, "usage: md5_native FILE | md5_native --core SECONDS\n");
  return 2;
}
