#include "board/lane_facts.h"

#include <cassert>

namespace velmora {
namespace {

// A lane's part of diff(k): its misplaced items of level k and above, less
// the room of its run top when that is k or above. Its part of the room at
// t: what clearing it would free, when that costs anything.
LaneFacts with_shares(LaneFacts f) {
  int32_t misplaced = 0;
  for (int32_t k = kTopLevel; k >= 1; --k) {
    const auto i = static_cast<std::size_t>(k);
    misplaced += f.misplaced[i];
    f.deficit[i] = static_cast<int16_t>(misplaced - (f.run_top >= k ? f.run_free : 0));
    f.room[i] = static_cast<int16_t>(f.clear_cost(k) > 0 ? f.clear_gain(k) : 0);
  }
  return f;
}

}  // namespace

LaneFacts empty_lane_facts(int32_t length) {
  LaneFacts f;
  f.length = static_cast<int16_t>(length);
  f.empty_len = static_cast<int16_t>(length);
  return with_shares(f);
}

LaneFacts push_item(const LaneFacts& lane, int32_t value, int32_t slot) {
  assert(value != 0 && slot >= 0 && slot < lane.length && lane.items < lane.length);
  LaneFacts f = lane;
  f.items = static_cast<int16_t>(lane.items + 1);
  f.front_value = static_cast<int16_t>(value);
  f.empty_len = 0;
  const bool in_order = lane.run_len == lane.items;
  if (value <= lane.accepts_up_to()) {
    // The ordered run grows by the new front item.
    f.run_len = static_cast<int16_t>(lane.run_len + 1);
    f.run_front = static_cast<int16_t>(value);
    for (int32_t t = value + 1; t <= kTopLevel; ++t) ++f.below[static_cast<std::size_t>(t)];
    return with_shares(f);
  }
  if (in_order) {
    // The new item breaks the lane; the run behind it is frozen from now on.
    f.break_slot = static_cast<int16_t>(slot);
    if (lane.run_front <= kTopLevel) {
      f.run_top = lane.run_front;
      f.run_free = static_cast<int16_t>(slot + 1);
    }
  }
  if (value >= 1 && value <= kTopLevel) {
    ++f.misplaced[static_cast<std::size_t>(value)];
    ++f.misplaced_levels;
  }
  return with_shares(f);
}

LaneFacts lane_facts(std::span<const uint8_t> lane, LaneFacts* popped) {
  LaneFacts facts = empty_lane_facts(static_cast<int32_t>(lane.size()));
  LaneFacts before = facts;
  for (auto slot = static_cast<int32_t>(lane.size()) - 1; slot >= 0; --slot) {
    const uint8_t v = lane[static_cast<std::size_t>(slot)];
    if (v == 0) continue;
    before = facts;
    facts = push_item(facts, v, slot);
  }
  if (popped != nullptr) *popped = before;
  return facts;
}

LaneSummary to_summary(const LaneFacts& lane, int32_t threshold) {
  LaneSummary s;
  for (int32_t k = 1; k <= kTopLevel; ++k) {
    s.misplaced[static_cast<std::size_t>(k)] = lane.misplaced[static_cast<std::size_t>(k)];
  }
  s.run_top = lane.run_top;
  s.run_free = lane.run_free;
  s.length = lane.length;
  s.empty_len = lane.empty_len;
  if (threshold >= 1 && threshold <= kTopLevel && lane.clear_cost(threshold) > 0) {
    s.clearable = 1;
    s.clear_cost = lane.clear_cost(threshold);
    s.clear_gain = lane.clear_gain(threshold);
  }
  return s;
}

}  // namespace velmora
