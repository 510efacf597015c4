// Times the volume-bitmap counter for bench/storage: GB of bitmap per CPU second
// on bitmaps of three shapes, fed in the chunks the program reads, against
// the bit-by-bit count in the same run, and the memory the reading holds.
#include <windows.h>

#include <cstdio>
#include <random>
#include <vector>

#include "reports/system/free_space_extents.h"
#include "reports/system/volume_facts.h"

namespace {

// CPU time of the thread: the machine is shared, and the count waits on nothing.
double Seconds() {
  FILETIME created, exited, kernel, user;
  ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

// Chunks of alternating used and free runs of up to the given lengths.
std::vector<std::vector<uint8_t>> MakeChunks(unsigned used_max, unsigned free_max, int count) {
  std::mt19937 random(20261210);
  std::vector<std::vector<uint8_t>> chunks;
  bool used = true;
  size_t left = 0;
  for (int c = 0; c < count; ++c) {
    std::vector<uint8_t> chunk(velmora::kBitmapChunkBytes, 0);
    for (size_t bit = 0; bit < chunk.size() * 8; ++bit) {
      if (left == 0) {
        used = !used;
        left = 1 + random() % (used ? used_max : free_max);
      }
      if (used) chunk[bit / 8] |= uint8_t(1u << (bit % 8));
      --left;
    }
    chunks.push_back(std::move(chunk));
  }
  return chunks;
}

template <typename Count>
double GigabytesPerSecond(const std::vector<std::vector<uint8_t>>& chunks, double gigabytes,
                          Count count) {
  const size_t feeds = static_cast<size_t>(gigabytes * 1e9 / velmora::kBitmapChunkBytes) + 1;
  const double start = Seconds();
  for (size_t i = 0; i < feeds; ++i) count(chunks[i % chunks.size()]);
  return static_cast<double>(feeds) * velmora::kBitmapChunkBytes / 1e9 / (Seconds() - start);
}

void Measure(const char* shape, unsigned used_max, unsigned free_max) {
  const auto chunks = MakeChunks(used_max, free_max, 8);
  velmora::FreeExtentCounter counter;
  const double fast = GigabytesPerSecond(chunks, 4.0, [&](const std::vector<uint8_t>& chunk) {
    counter.Feed(chunk.data(), chunk.size() * 8);
  });
  uint64_t peer_extents = 0;
  const double peer = GigabytesPerSecond(chunks, 0.05, [&](const std::vector<uint8_t>& chunk) {
    peer_extents += velmora::CountFreeExtentsBitByBit(chunk.data(), chunk.size() * 8).extents;
  });
  // Same answer on one chunk, as a check that both counted the same thing.
  velmora::FreeExtentCounter one;
  one.Feed(chunks[0].data(), chunks[0].size() * 8);
  const bool same =
      one.Totals().free_clusters ==
      velmora::CountFreeExtentsBitByBit(chunks[0].data(), chunks[0].size() * 8).free_clusters;
  std::printf("%-28s counter %7.2f GB/s   bit-by-bit %6.3f GB/s (CPU time)   ratio %6.1fx   %s\n",
              shape, fast, peer, fast / peer, same ? "same counts" : "COUNTS DIFFER");
  if (counter.Totals().extents == 0 || peer_extents == 0) std::printf("(no extents)\n");
}

}  // namespace

int wmain() {
  std::printf(
      "bitmap memory while reading: %zu bytes (one chunk of %zu bytes and its header, "
      "whatever the volume's size; counter state %zu bytes)\n",
      velmora::kBitmapChunkBytes + 16, velmora::kBitmapChunkBytes,
      sizeof(velmora::FreeExtentCounter));
  Measure("volume-like (runs to 8192)", 8192, 1024);
  Measure("fragmented (runs to 64)", 64, 64);
  Measure("worst case (runs to 2)", 2, 2);
  return 0;
}
