#pragma once
// The admissible lower bound on the moves still needed to sort a board.
//
// Let M be the misplaced items of levels 1..5 (the board is sorted exactly
// when M is empty) and |M| their number. The bound is
//
//   |M| + 1   when M is not empty and no lane "accepts" an item of M,
//   |M|       otherwise,
//
// where a lane accepts x when its base (the lane without its items of M)
// is in order, has a free slot in front, and is empty or has a front item
// of at least x.
//
// Proof. (1) Every item of M moves at least once. Only a lane's front item
// moves, so while x stays put the items behind it stay put too, x keeps its
// slot and the walk from the back meets the same break at or behind x: x
// stays misplaced, and a sorted board has none.
// (2) Take a plan that moves only items of M, so that every other item stays
// where it is for the whole plan; we show some lane accepts an item of M.
// Every item of M moves (1); let x be the first item of M to make its last
// move, onto lane L. The items behind x then never move again. An item of M
// behind x would have made its last move before x did, and x's is the
// first; so the items behind x are exactly L's items outside M, the base of
// L, in their slots. Their slot in front is where x landed, so the base has
// a free slot there. In the final, sorted board x is not misplaced, so no
// break lies at or behind x: the base is in order, and x is not above the
// item directly behind it. So L accepts x.
// Hence when no lane accepts an item of M, every plan also moves an item
// outside M, which is a move besides the |M| of (1). The bound never
// exceeds the shortest plan's length; on a sorted board it is 0.
//
// How a lane's base is found: a lane in order is its own base. In a broken
// lane the misplaced part is the breaking item and those in front of it; if
// they all have levels 1..5 the base is the run behind it, which has free
// slots in front. Otherwise an item above 5 stays in the base in front of a
// run whose front is below it (the breaking item is greater than the run's
// front, and an item above 5 is greater than every level), so the base is
// out of order and accepts nothing.

#include <cstdint>

#include "plan/plan_board.h"

namespace velmora {

int32_t lower_bound(const PlanBoard& board);

}  // namespace velmora
