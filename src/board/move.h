#pragma once
// Move application: the only way a state other than the start state is made.

#include <cstdint>
#include <optional>

#include "board/lane_state.h"

namespace velmora {

struct Move {
  int32_t src;
  int32_t dst;
};

// Lowest occupied slot of `lane`, or -1 when it holds no item.
int32_t front_slot(const Grid& grid, const BoardLayout& layout, int32_t lane);

// The child of `parent` after moving the front item of `src` in front of the
// items of `dst`, updated incrementally; nullopt when the move is impossible.
// src != dst, both below lane_count (asserted).
std::optional<LaneState> apply_move(const LaneState& parent, const BoardLayout& layout,
                                    int32_t src, int32_t dst);

// The same, written into `child` (not `parent` itself), which is left
// unspecified when the move is impossible (false). A state is 7.7 KB: this
// form lets callers keep it off their stack.
bool apply_move_into(const LaneState& parent, const BoardLayout& layout, int32_t src, int32_t dst,
                     LaneState& child);

}  // namespace velmora
