#pragma once
// Local improvement of a plan that sorts the board, keeping where it ends:
// loops back to a position seen before are cut out; an item moved on from
// the lane it just landed on, with the lanes untouched in between, moves
// once; one moved back where it came from does not move. Every change is
// kept only if the plan still replays to a sorted board.

#include "board/layout.h"
#include "plan/exact_search.h"

namespace velmora {

Plan improve_plan(const BoardLayout& layout, Plan plan);

}  // namespace velmora
