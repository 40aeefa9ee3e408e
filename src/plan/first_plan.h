#pragma once
// The first plan: a greedy depth-first search that never enters a position
// twice. At each position it tries, best first, the moves that put a
// misplaced item where it stays in order (the tightest fit first); then the
// moves that dig out the lane with the fewest misplaced items, onto lanes
// that are out of order already rather than onto a lane that could take an
// item well. It backs up when a position has no new child, so on a board
// whose positions fit the budget it finds a plan whenever there is one.

#include <cstdint>
#include <functional>
#include <optional>

#include "board/layout.h"
#include "plan/exact_search.h"

namespace velmora {

struct GreedyOptions {
  int64_t node_budget = 200'000;  // positions entered at most
  int32_t tries_per_position = 48;  // the best moves kept at each position
  uint32_t seed = 0;  // 0: the same order every run; otherwise ties shuffled by it
};

struct GreedyOutcome {
  std::optional<Plan> plan;
  int64_t nodes = 0;
  bool stopped = false;
};

// `stop` is asked every 256 positions.
GreedyOutcome first_plan(const BoardLayout& layout, const GreedyOptions& options,
                         const std::function<bool()>& stop);

}  // namespace velmora
