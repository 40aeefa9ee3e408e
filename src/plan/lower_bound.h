#pragma once
// The admissible lower bound on the moves still needed to sort a board.
//
// Let M be the misplaced items of levels 1..5 (the board is sorted exactly
// when M is empty). A lane's base is the lane without its items of M. The
// bound is |M| + max(one, room), where `one` is 1 when no lane accepts an
// item of M (below) and 0 otherwise, and `room` counts moves of base items
// that the room the items of M need calls for. Every item of M moves at
// least once (1), and `one` and `room` each count moves of base items, which
// are not in M; so both terms are proven once (2) and (3) are.
//
// (1) Every item of M moves. Only a lane's front item moves, so while x
// stays put the items behind it stay put too, x keeps its slot and the walk
// from the back meets the same break at or behind x: x stays misplaced, and
// a sorted board has none.
//
// (2) `one`. A lane accepts x when its base is in order, has a free slot in
// front, and is empty or has a front item of at least x. Take a plan that
// moves only items of M; we show some lane accepts an item of M. Let x be
// the first item of M to make its last move, onto lane L. The items behind
// x then never move again. An item of M behind x would have made its last
// move before x did; so the items behind x are exactly L's base, in its
// slots, with a free slot in front (where x landed). In the sorted board at
// the end x is not misplaced, so the base is in order and x is not above its
// front. So when no lane accepts an item of M, a plan moves a base item.
//
// (3) `room`. Fix a plan and a level g, and let p_L be the base items of
// lane L that the plan moves at least once. To move a base item every item
// in front of it must be gone, so the moved base items are a front part of
// the base and the unmoved ones U_L a back part; cells behind an unmoved
// item never change. Then:
//  (a) an item of M behind a base item moves (1), so p_L >= forced_L, the
//      base items in front of the back-most item of M in L;
//  (b) at the end every moved item of level g..5 stands in front of some
//      U_L (it cannot get behind an unmoved item), with only items at least
//      as great behind it and in order: so U_L is in order with every item
//      at least g. Call such a lane a host. A base is its ordered run behind
//      the items above 5 that stood in the misplaced part; any back part
//      holding one of those is out of order (the back-most of them is above
//      the run's front), so U_L lies in the run and holds only its items of
//      at least g: p_L >= c_L = base_L - run_from_L[g] >= forced_L.
//  (c) a host holds at most lane_len_L - |U_L| = K_L + (p_L - c_L) moved
//      items at the end, where K_L = lane_len_L - run_from_L[g]. The moved
//      items of level g..5 are the D items of M of level g..5 and the base
//      items of those levels that moved. A host's p_L - c_L moved items
//      beyond c_L all lie in the run's part of at least g: those of levels
//      g..5 are counted on both sides, and only those above 5 add room
//      without adding items, one slot a move.
// Summing over the hosts S: D <= sum_S K_L + e, where e counts the moved
// items above 5 beyond the c_L, and sum_L p_L >= sum_L forced_L +
// sum_S (c_L - forced_L) + e. So the base moves are at least sum_L forced_L
// plus the least cost of covering D with lanes that each cost
// c_L - forced_L and give K_L slots, and with slots at one move each. Every
// lane gives at least a slot a move (K_L >= base_L - run_from_L[g] >= its
// cost), and all lanes together give room for every item, so the slots at
// one move each never lower the least cost of the covering's fractional
// relaxation, which is at most the covering's own least cost and is reached
// by taking lanes in order of cost per slot; its value rounded up is still
// at most the integer cost. `room` is the greatest of these over g = 1..5.
//
// On a sorted board the bound is 0, and it is never more than the length of
// the shortest plan. It is checked against breadth-first distances on every
// position of many small boards (tests).

#include <cstdint>

#include "plan/plan_board.h"

namespace velmora {

// From the counts the board keeps (room_offers.h) where it keeps them.
int32_t lower_bound(const PlanBoard& board);

// The same bound, every lane looked at: the plain statement of the rule,
// against which the kept counts are checked, and the way for boards with a
// lane too long for them.
int32_t lower_bound_by_lanes(const PlanBoard& board);

}  // namespace velmora
