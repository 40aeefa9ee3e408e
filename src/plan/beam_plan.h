#pragma once
// Shorter plans on boards too large for the exact search: a beam search,
// level by level from the start. Every node of a level has made the same
// number of moves, so ordering by moves plus lower bound orders by the
// moves "wasted" so far (moves that did not lower the bound); of the
// children of a level the `width` best distinct positions are kept, ties
// broken by how much room the lanes in order keep for the misplaced items
// (and, if asked, the lanes one move from being in order; a seed adds a
// random jitter, so that two beams differ). A position seen
// at an earlier level is dropped, and so is every node that cannot end in a
// plan shorter than `shorter_than` (moves + bound >= it).
//
// Moves pruned as the exact search does, where they keep a shortest plan:
// never move the item that moved last (back is an undo, on is a relay that
// one direct move replaces); of two consecutive moves on four distinct
// lanes only the order with the smaller source first; of empty lanes of one
// length only the first. The beam is not exhaustive, so it proves nothing:
// a plan it finds is only shorter. From a prefix of the best plan, a beam
// looks for a shorter way to end it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "board/layout.h"
#include "plan/exact_search.h"

namespace velmora {

struct BeamOptions {
  Plan prefix;  // legal moves from the start, played first; the beam starts after them
  int32_t width = 16;
  int32_t shorter_than = 0;  // a plan must have fewer moves than this; 0: any plan
  uint32_t seed = 0;         // 0: no jitter
  bool ready_lanes = false;  // ties also favour lanes one move from being in order
  int64_t node_budget = -1;  // children weighed at most; negative: none
};

struct BeamOutcome {
  std::optional<Plan> plan;  // the prefix and on, sorts the board, fewer than shorter_than moves
  int64_t nodes = 0;         // children weighed
  bool stopped = false;      // by `stop` or the budget
};

// The memory a beam of `width` takes at most for a plan of `levels` moves,
// in bytes, the allocator's share included.
std::size_t beam_bytes(int32_t width, int32_t levels);

// `stop` is asked every 1024 children; it may be empty.
BeamOutcome beam_plan(const BoardLayout& layout, const BeamOptions& options,
                      const std::function<bool()>& stop);

}  // namespace velmora
