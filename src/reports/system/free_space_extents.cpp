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

// Whether `bits` holds a run of at least `length` (1 to 64) set bits: a few
// shifts, where measuring the longest run takes a round per bit of it.
bool HasRunOfOnes(uint64_t bits, unsigned length) {
  unsigned covered = 1;  // each set bit ends a run of at least this many
  for (; covered * 2 <= length; covered *= 2) bits &= bits << covered;
  if (covered < length) bits &= bits << (length - covered);
  return bits != 0;
}

// The set bits of a word. Not the compiler's builtin: without the POPCNT
// instruction, which the oldest supported processors lack, it is a call.
unsigned CountOnes(uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555u;
  x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<unsigned>((x * 0x0101010101010101u) >> 56);
}

}  // namespace

namespace {

// The counter's state while a chunk is fed, kept in locals so that the
// compiler can hold it in registers word after word.
struct Tally {
  FreeSpaceExtents totals;
  uint64_t open_run;

  void CloseRun() {
    totals.largest = std::max(totals.largest, open_run);
    open_run = 0;
  }

  void AddFree(uint64_t clusters) {
    if (open_run == 0) ++totals.extents;
    open_run += clusters;
    totals.free_clusters += clusters;
  }

  // Bitmaps of real volumes are mostly long runs: whole words free or in use
  // take one comparison. A mixed word counts its free runs by their starts
  // and needs the lengths only of the runs at its two ends, which may go on
  // into the neighbours; a run inside the word can only matter while no run
  // is longer than a word.
  void AddWord(uint64_t used) {
    if (used == 0) return AddFree(64);
    if (used == ~uint64_t{0}) return CloseRun();
    const uint64_t free = ~used;
    const uint64_t carried = open_run != 0 ? 1 : 0;
    const uint64_t starts = free & ~((free << 1) | carried);
    totals.extents += CountOnes(starts);
    totals.free_clusters += CountOnes(free);
    const unsigned low = static_cast<unsigned>(__builtin_ctzll(used));
    const unsigned high = static_cast<unsigned>(__builtin_clzll(used));
    open_run += low;
    CloseRun();
    if (totals.largest < 64) {
      // Without branches: in a fragmented bitmap they would go either way.
      const uint64_t low_mask = (uint64_t{1} << low) - 1;
      const uint64_t high_mask = ~(~uint64_t{0} >> high);
      const uint64_t inner = free & ~low_mask & ~high_mask;
      if (HasRunOfOnes(inner, static_cast<unsigned>(totals.largest) + 1)) {
        totals.largest = LongestRunOfOnes(inner);
      }
    }
    open_run = high;
  }

  void AddBit(bool used) {
    if (used) return CloseRun();
    AddFree(1);
  }
};

uint64_t WordAt(const uint8_t* bits, uint64_t index) {
  uint64_t word;  // little-endian: cluster order is bit order
  std::memcpy(&word, bits + index * 8, sizeof word);
  return word;
}

}  // namespace

void FreeExtentCounter::Feed(const uint8_t* bits, uint64_t bit_count) {
  Tally tally{totals_, open_run_};
  const uint64_t words = bit_count / 64;
  uint64_t i = 0;
  while (i < words) {
    const uint64_t word = WordAt(bits, i);
    tally.AddWord(word);
    if (word != 0 && word != ~uint64_t{0}) {
      ++i;
      continue;
    }
    // A stretch of whole words alike is counted at once.
    const uint64_t first = i;
    while (++i < words && WordAt(bits, i) == word) {
    }
    if (word == 0) tally.AddFree((i - first - 1) * 64);
  }
  for (uint64_t bit = words * 64; bit < bit_count; ++bit) {
    tally.AddBit((bits[bit / 8] >> (bit % 8)) & 1);
  }
  totals_ = tally.totals;
  open_run_ = tally.open_run;
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
