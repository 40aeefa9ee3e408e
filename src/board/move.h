#pragma once
// Move application: the only way a state other than the start state is made.

#include <cstdint>
#include <cassert>
#include <cstddef>
#include <optional>
#include <span>

#include "board/lane_state.h"

namespace velmora {

struct Move {
  int32_t src;
  int32_t dst;
};

// The move rule on one lane's slots (slot 0 first): its front item's slot,
// -1 when it holds none; and the slot an item put in front of its items
// lands in, -1 when the lane is full (or has no slot).
int32_t front_slot(std::span<const uint8_t> lane);
inline int32_t landing_slot(std::span<const uint8_t> lane) {
  const int32_t front = front_slot(lane);
  return front < 0 ? static_cast<int32_t>(lane.size()) - 1 : front - 1;
}

// The slots of `lane` in `grid`.
inline std::span<const uint8_t> lane_slots(const Grid& grid, const BoardLayout& layout,
                                           int32_t lane) {
  assert(lane >= 0 && lane < layout.lane_count);
  const int32_t len = layout.lane_len[static_cast<std::size_t>(lane)];
  return {grid.data() + static_cast<std::ptrdiff_t>(lane) * layout.capacity,
          static_cast<std::size_t>(len > 0 ? len : 0)};
}

// Lowest occupied slot of `lane`, or -1 when it holds no item.
inline int32_t front_slot(const Grid& grid, const BoardLayout& layout, int32_t lane) {
  return front_slot(lane_slots(grid, layout, lane));
}

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
