#include "reports/system/free_space_extents.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

// The longest run of set bits in `bits`. Each round shortens every run by one,
// so the rounds are as many as the longest run is long.
unsigned LongestRunOfOnes(uint64_t bits) {
  unsigned length = 0;
  for (; bits != 0; ++length) bits &= bits << 1;
  return length;
}

}  // namespace

void FreeExtentCounter::CloseRun() {
  totals_.largest = std::max(totals_.largest, open_run_);
  open_run_ = 0;
}

// Bitmaps of real volumes are mostly long runs: whole words free or in use
// take one comparison. A mixed word counts its free runs by their starts and
// needs the lengths only of the runs at its two ends, which may go on into the
// neighbours; a run inside the word can only matter while no run is longer
// than a word.
void FreeExtentCounter::FeedWord(uint64_t used) {
  if (used == 0) {
    if (open_run_ == 0) ++totals_.extents;
    open_run_ += 64;
    totals_.free_clusters += 64;
    return;
  }
  if (used == ~uint64_t{0}) {
    CloseRun();
    return;
  }
  const uint64_t free = ~used;
  const uint64_t carried = open_run_ != 0 ? 1 : 0;
  const uint64_t starts = free & ~((free << 1) | carried);
  totals_.extents += static_cast<uint64_t>(__builtin_popcountll(starts));
  totals_.free_clusters += static_cast<uint64_t>(__builtin_popcountll(free));
  const unsigned low = static_cast<unsigned>(__builtin_ctzll(used));
  const unsigned high = static_cast<unsigned>(__builtin_clzll(used));
  open_run_ += low;
  CloseRun();
  if (totals_.largest < 64) {
    const uint64_t low_mask = low == 0 ? 0 : (~uint64_t{0} >> (64 - low));
    const uint64_t high_mask = high == 0 ? 0 : (~uint64_t{0} << (64 - high));
    const uint64_t inner = free & ~low_mask & ~high_mask;
    totals_.largest = std::max<uint64_t>(totals_.largest, LongestRunOfOnes(inner));
  }
  open_run_ = high;
}

void FreeExtentCounter::FeedBit(bool used) {
  if (used) {
    CloseRun();
    return;
  }
  if (open_run_ == 0) ++totals_.extents;
  ++open_run_;
  ++totals_.free_clusters;
}

namespace {

uint64_t WordAt(const uint8_t* bits, uint64_t index) {
  uint64_t word;  // little-endian: cluster order is bit order
  std::memcpy(&word, bits + index * 8, sizeof word);
  return word;
}

}  // namespace

void FreeExtentCounter::Feed(const uint8_t* bits, uint64_t bit_count) {
  const uint64_t words = bit_count / 64;
  uint64_t i = 0;
  while (i < words) {
    const uint64_t word = WordAt(bits, i);
    if (word != 0 && word != ~uint64_t{0}) {
      FeedWord(word);
      ++i;
      continue;
    }
    // A stretch of whole words alike is counted at once.
    const uint64_t first = i;
    while (++i < words && WordAt(bits, i) == word) {
    }
    if (word != 0) {
      CloseRun();
      continue;
    }
    const uint64_t clusters = (i - first) * 64;
    if (open_run_ == 0) ++totals_.extents;
    open_run_ += clusters;
    totals_.free_clusters += clusters;
  }
  for (uint64_t bit = words * 64; bit < bit_count; ++bit) {
    FeedBit((bits[bit / 8] >> (bit % 8)) & 1);
  }
}

FreeSpaceExtents FreeExtentCounter::Totals() const {
  FreeSpaceExtents totals = totals_;
  totals.largest = std::max(totals.largest, open_run_);
  return totals;
}

FreeSpaceExtents CountFreeExtentsBitByBit(const uint8_t* bits, uint64_t bit_count) {
  FreeSpaceExtents totals;
  uint64_t run = 0;
  for (uint64_t bit = 0; bit < bit_count; ++bit) {
    const bool used = (bits[bit / 8] >> (bit % 8)) & 1;
    if (used) {
      run = 0;
      continue;
    }
    if (run == 0) ++totals.extents;
    ++run;
    ++totals.free_clusters;
    totals.largest = std::max(totals.largest, run);
  }
  return totals;
}

}  // namespace velmora
