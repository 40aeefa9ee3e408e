#pragma once
// A lane's analysis at every threshold at once, built item by item from the
// back. Moves only push and pop at a lane's front, so the facts of a lane are
// those of its front item's prefix: keeping them per item makes a pop a
// look-up and a push one small step, and a change of g_star costs nothing.

#include <array>
#include <cstdint>
#include <span>

#include "board/lane_state.h"

namespace velmora {

struct LaneFacts {
  std::array<int16_t, kTopLevel + 1> misplaced{};  // per level 1..5
  std::array<int16_t, kTopLevel + 1> below{};      // run items below threshold t = 1..5
  int16_t misplaced_levels = 0;  // misplaced[1] + ... + misplaced[5]: the lane's share of blokaj
  int16_t items = 0;          // items in the lane
  int16_t run_len = 0;        // items of the ordered run
  int16_t front_value = 0;    // value of the front item
  int16_t run_front = 0;      // value of the run's front item
  int16_t break_slot = -1;    // slot of the breaking item, -1 when in order
  int16_t run_top = 0;        // level of the run top when the lane breaks, else 0
  int16_t run_free = 0;       // break_slot + 1 with run_top, else 0
  int16_t length = 0;
  int16_t empty_len = 0;
  // Derived from the fields above once per item, for the search's inner loop:
  std::array<int16_t, kTopLevel + 1> deficit{};  // the lane's part of diff(k), k = 1..5
  std::array<int16_t, kTopLevel + 1> room{};     // the room clearing it frees at t = 1..5 (0 if free)

  bool operator==(const LaneFacts&) const = default;

  int32_t clear_cost(int32_t t) const { return below[static_cast<std::size_t>(t)]; }
  int32_t clear_gain(int32_t t) const {
    return length - (run_len - below[static_cast<std::size_t>(t)]);
  }
  // The greatest value that can be put in front without breaking the lane:
  // -1 when it is broken already, 255 when it holds no item.
  int32_t accepts_up_to() const {
    if (run_len != items) return -1;
    return items == 0 ? 255 : front_value;
  }
};

// The lane's clearing choice at threshold t.
inline ClearChoice clear_choice(const LaneFacts& lane, int32_t t) {
  return {lane.clear_gain(t), lane.clear_cost(t)};
}

// The facts of a lane of `length` slots that holds no item.
LaneFacts empty_lane_facts(int32_t length);

// The facts after putting `value` in `slot`, in front of the lane's items.
LaneFacts push_item(const LaneFacts& lane, int32_t value, int32_t slot);

// The facts of a lane's slots (slot 0 first), walked from the back, item by
// item; `popped`, when given, gets those of the lane without its front item.
LaneFacts lane_facts(std::span<const uint8_t> lane, LaneFacts* popped = nullptr);

// The same analysis in the form the reference state caches, at threshold t.
LaneSummary to_summary(const LaneFacts& lane, int32_t threshold);

}  // namespace velmora
