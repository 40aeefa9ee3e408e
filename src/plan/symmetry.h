#pragma once
// Moves that only repeat another in a different guise, which the exact
// search and the beams both leave out (exact_search.h says why a shortest
// plan survives each).

#include <cstdint>

#include "board/move.h"
#include "plan/plan_board.h"

namespace velmora {

// Two moves in a row on four distinct lanes commute: of the two orders only
// the one whose first move has the smaller source lane is kept. `last` has
// a source of -1 when there was no move before.
inline bool other_order(Move last, int32_t src, int32_t dst) {
  return last.src >= 0 && src < last.src && src != last.dst && dst != last.src &&
         dst != last.dst;
}

// An empty lane after another empty one of its length: a move into it is a
// move into the first, the two lanes' names exchanged.
inline bool later_empty_lane(const PlanBoard& board, int32_t lane) {
  if (board.front(lane) >= 0) return false;
  for (int32_t other = 0; other < lane; ++other) {
    if (board.front(other) < 0 && board.lane_len(other) == board.lane_len(lane)) return true;
  }
  return false;
}

}  // namespace velmora
