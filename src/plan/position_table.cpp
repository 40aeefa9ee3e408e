#include "plan/position_table.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace velmora {
namespace {

constexpr std::size_t kFirstBuckets = 1024;

}  // namespace

PositionTable::PositionTable(std::size_t budget_bytes) {
  const std::size_t buckets = budget_bytes / (kWays * sizeof(Entry));
  if (buckets == 0) return;
  max_buckets_ = std::bit_floor(buckets);
  const std::size_t count = std::min(max_buckets_, kFirstBuckets);
  slots_.resize(count * kWays);
  mask_ = count - 1;
}

void PositionTable::grow() {
  std::vector<Entry> old(std::move(slots_));
  slots_.assign(old.size() * 2, Entry{});
  mask_ = mask_ * 2 + 1;
  // Each entry keeps its way: the ways of a bucket split over two buckets.
  for (std::size_t i = 0; i < old.size(); ++i) {
    if (old[i].depth >= 0) slots_[(old[i].a & mask_) * kWays + i % kWays] = old[i];
  }
}

bool PositionTable::visit(const PositionKey& key, int32_t depth, int32_t round) {
  if (slots_.empty() || depth > std::numeric_limits<int16_t>::max()) return true;
  Entry* bucket = &slots_[(key.a & mask_) * kWays];
  const auto b = static_cast<uint32_t>(key.b);
  const auto d = static_cast<int16_t>(depth);
  const auto r = static_cast<uint16_t>(round);
  Entry* victim = bucket;
  for (std::size_t i = 0; i < kWays; ++i) {
    Entry& e = bucket[i];
    if (e.depth >= 0 && e.a == key.a && e.b == b) {
      if (e.depth < d || (e.depth == d && e.round == r && round >= 0)) return false;
      e.depth = d;
      e.round = r;
      return true;
    }
    // A free entry first, else the deepest: shallow positions prune the most.
    if (victim->depth >= 0 && (e.depth < 0 || e.depth > victim->depth)) victim = &e;
  }
  if (victim->depth >= 0) {
    ++evicted_;
  } else {
    ++stored_;
  }
  *victim = {key.a, b, d, r};
  if (static_cast<std::size_t>(stored_) * 4 > slots_.size() * 3 && mask_ + 1 < max_buckets_) grow();
  return true;
}

}  // namespace velmora
