#include "plan/position_table.h"

#include <bit>

namespace velmora {

PositionTable::PositionTable(std::size_t budget_bytes) {
  const std::size_t buckets = budget_bytes / (kWays * sizeof(Entry));
  if (buckets == 0) return;
  const std::size_t count = std::bit_floor(buckets);
  slots_.resize(count * kWays);
  mask_ = count - 1;
}

bool PositionTable::visit(const PositionKey& key, int32_t depth) {
  if (slots_.empty()) return true;
  Entry* bucket = &slots_[(key.b >> 32 & mask_) * kWays];
  const auto b = static_cast<uint32_t>(key.b);
  Entry* victim = bucket;
  for (std::size_t i = 0; i < kWays; ++i) {
    Entry& e = bucket[i];
    if (e.depth >= 0 && e.a == key.a && e.b == b) {
      if (e.depth < depth) return false;
      e.depth = depth;
      return true;
    }
    // A free entry first, else the deepest: shallow positions prune the most.
    if (victim->depth >= 0 && (e.depth < 0 || e.depth > victim->depth)) victim = &e;
  }
  if (victim->depth >= 0) ++evicted_;
  else ++stored_;
  *victim = {key.a, b, depth};
  return true;
}

}  // namespace velmora
