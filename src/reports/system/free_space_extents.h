// Free-space fragmentation from a volume's allocation bitmap (one bit per
// cluster, set = in use, cluster 0 in the lowest bit of the first byte), fed
// in the chunks the file system hands out so that no volume's whole bitmap is
// ever held at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

struct FreeSpaceExtents {
  uint64_t extents = 0;        // runs of free clusters
  uint64_t largest = 0;        // clusters of the longest run
  uint64_t free_clusters = 0;  // all free clusters
};

class FreeExtentCounter {
 public:
  // The next `bit_count` clusters of the bitmap, starting at bit 0 of
  // `bits`; a free run may go on across the chunks.
  void Feed(const uint8_t* bits, uint64_t bit_count);
  // What the chunks fed so far hold, with a run still open at their end.
  FreeSpaceExtents Totals() const;

 private:
  FreeSpaceExtents totals_;
  uint64_t open_run_ = 0;  // free clusters at the end of what was fed
};

// The same count one cluster at a time: the reference for the counter.
FreeSpaceExtents CountFreeExtentsBitByBit(const uint8_t* bits, uint64_t bit_count);

}  // namespace velmora
