#pragma once
// A table of positions seen with the least depth each was reached at, and
// the round (the search's bound) of that visit, in a fixed memory budget. A
// position reached deeper than it was before cannot lie on a shortest plan
// (its prefix could be replaced by the shorter one), so the search drops
// it; one reached again at the same depth in the same round was searched
// already (exact_search.h says why that is enough), and is dropped too. The
// table is a cache: when a bucket is full the deepest entry gives way, and a
// forgotten position is merely searched again.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plan/plan_board.h"

namespace velmora {

class PositionTable {
 public:
  // Holds at most as many buckets as fit in `budget_bytes` (a power of two
  // of them; none when the budget is below one bucket, and then nothing is
  // kept). It starts small and doubles while it is three quarters full, so a
  // short run does not pay for the whole budget.
  explicit PositionTable(std::size_t budget_bytes);

  // Records that `key` was reached at `depth` in `round`; false when it was
  // reached before at a smaller depth, or at the same depth in this round
  // (the caller then drops it). A negative round is never the same.
  bool visit(const PositionKey& key, int32_t depth, int32_t round);

  std::size_t bytes() const { return slots_.size() * sizeof(Entry); }  // held now
  int64_t stored() const { return stored_; }  // entries in use
  int64_t evicted() const { return evicted_; }

  static constexpr std::size_t kWays = 4;

 private:
  struct Entry {
    uint64_t a = 0;
    uint32_t b = 0;  // the low half of the second hash
    int16_t depth = -1;  // -1: a free entry
    uint16_t round = 0;  // the low half of the round
  };
  void grow();

  std::size_t max_buckets_ = 0;
  std::vector<Entry> slots_;  // kWays entries per bucket
  std::size_t mask_ = 0;      // buckets - 1
  int64_t stored_ = 0;
  int64_t evicted_ = 0;
};

}  // namespace velmora
