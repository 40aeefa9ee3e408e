#pragma once
// The anytime phase of a plan() run between the exact search's slices:
// rounds of beams of doubling width, each for a plan shorter than the best.
// A round redoes the best plan's last 16, 32, 64, ... moves (less than a
// quarter of it), then the whole plan: on large boards a whole beam is slow
// and a tail quick, and a shorter tail is a shorter plan. The phase ends when `over` says so, when
// the node budget is spent, when the next width would not fit the memory
// budget, or after five rounds in a row that found nothing (wider beams
// rarely find what five narrower ones missed, and the exact search may
// still prove the plan in hand shortest).

#include <cstddef>
#include <cstdint>
#include <functional>

#include "board/layout.h"
#include "plan/exact_search.h"

namespace velmora {

struct BeamPhaseOptions {
  int32_t beams = 1;         // side by side in a round, each on a thread
  int64_t node_budget = -1;  // children weighed, all beams together; negative: none
  std::size_t memory_bytes = 0;
};

// `best` gives the best plan now; `offer` takes each plan a beam finds
// (shorter than the best then). Returns the children weighed.
int64_t shorten_with_beams(const BoardLayout& layout, const BeamPhaseOptions& options,
                           const std::function<Plan()>& best,
                           const std::function<void(const Plan&)>& offer,
                           const std::function<bool()>& over);

}  // namespace velmora
