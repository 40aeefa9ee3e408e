#include "search/successors.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <unordered_map>

#include "board/move.h"

namespace velmora {
namespace {

// Zobrist hashes are uniformly random already; mixing them again buys nothing.
struct IdentityHash {
  std::size_t operator()(uint64_t hash) const noexcept { return static_cast<std::size_t>(hash); }
};

// A map entry remembers when its position was first generated, which fixes
// its place in the list even when a later move takes the entry over.
struct Slot {
  Successor successor;
  std::size_t ordinal;
};

}  // namespace

int64_t successor_score(const LevelCounts& parent_diff, const LevelCounts& child_diff,
                        double parent_h, double child_h, int64_t parent_score) {
  int64_t score = 0;
  int64_t weight = 10'000;
  for (int32_t k = kTopLevel; k >= 1; --k) {
    const auto i = static_cast<std::size_t>(k);
    const int32_t delta = child_diff[i] - parent_diff[i];
    score += weight * static_cast<int64_t>(delta);
    weight /= 10;
  }
  // A move that lowers h starts afresh; otherwise the scores accumulate.
  if (!(parent_h > child_h)) score += parent_score;
  return score;
}

std::vector<Successor> generate_successors(const LaneState& parent, const BoardLayout& layout,
                                           int64_t parent_score, bool use_dsg_tiebreak) {
  const int32_t n = layout.lane_count;
  std::unordered_map<uint64_t, Slot, IdentityHash> children;
  if (n > 1) children.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(n - 1));
  const LevelCounts parent_diff = deficits(parent.demand, parent.supply);
  const auto child = std::make_unique<LaneState>();  // 7.7 KB, kept off the caller's stack

  for (int32_t src = 0; src < n; ++src) {
    if (layout.lane_len[static_cast<std::size_t>(src)] <= 0) continue;
    if (front_slot(parent.grid, layout, src) < 0) continue;
    for (int32_t dst = 0; dst < n; ++dst) {
      if (dst == src) continue;
      if (src == parent.last_dst && dst == parent.last_src) continue;  // would undo the last move
      if (!apply_move_into(parent, layout, src, dst, *child)) continue;
      const int64_t score =
          use_dsg_tiebreak ? successor_score(parent_diff, deficits(child->demand, child->supply),
                                             parent.h, child->h, parent_score)
                           : 0;
      const Successor candidate{src, dst, child->f, child->h, score, child->g};
      const auto [it, inserted] = children.try_emplace(child->hash, Slot{candidate, children.size()});
      if (!inserted && takes_over(it->second.successor, candidate)) {
        it->second.successor = candidate;
      }
    }
  }

  std::vector<Successor> result(children.size());
  for (const auto& [hash, slot] : children) result[slot.ordinal] = slot.successor;
  return result;
}

void sort_successors(std::vector<Successor>& successors, bool use_dsg_tiebreak) {
  std::stable_sort(successors.begin(), successors.end(),
                   [use_dsg_tiebreak](const Successor& a, const Successor& b) {
                     return visits_before(a, b, use_dsg_tiebreak);
                   });
}

}  // namespace velmora
