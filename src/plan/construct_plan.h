#pragma once
// The constructive first plan, a few milliseconds even at 100 lanes. While
// some misplaced front item can go where it stays in order, it goes there
// (the tightest fit first; to an empty lane the greatest such item). When
// none can, it picks the lane that is cheapest to turn into such a place
// for some misplaced item of another lane: digging out its misplaced items,
// or emptying it, counted in moves. The items dug out go where they stay in
// order if they can, else onto lanes that are out of order already, else
// onto the lane in order that accepts the least.

#include <cstdint>
#include <optional>

#include "board/layout.h"
#include "plan/exact_search.h"

namespace velmora {

struct ConstructOptions {
  int32_t max_moves = 0;  // 0: 8 per item plus 100
  uint32_t seed = 0;      // 0: ties go to the lower lane; otherwise broken at random
};

// nullopt when the rule gets stuck (no move left) or runs past max_moves
// (it can go round in a loop).
std::optional<Plan> construct_plan(const BoardLayout& layout, const ConstructOptions& options);

// The rule with seed 0, then with seeds 1, 2, ... (ties at random, which
// often leaves a loop) until one of `tries` gives a plan.
std::optional<Plan> construct_any_plan(const BoardLayout& layout, uint32_t tries);

}  // namespace velmora
