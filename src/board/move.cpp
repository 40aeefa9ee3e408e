#include "board/move.h"

#include <cassert>
#include <cstddef>

#include "board/zobrist.h"

namespace velmora {
namespace {

std::size_t at(int32_t i) { return static_cast<std::size_t>(i); }

bool same_clearing(const LaneSummary& a, const LaneSummary& b) {
  return a.clearable == b.clearable && a.clear_cost == b.clear_cost &&
         a.clear_gain == b.clear_gain;
}

}  // namespace

int32_t front_slot(std::span<const uint8_t> lane) {
  for (std::size_t slot = 0; slot < lane.size(); ++slot) {
    if (lane[slot] != 0) return static_cast<int32_t>(slot);
  }
  return -1;
}

std::optional<LaneState> apply_move(const LaneState& parent, const BoardLayout& layout,
                                    int32_t src, int32_t dst) {
  std::optional<LaneState> child(std::in_place);  // one named result: built in the caller's slot
  if (!apply_move_into(parent, layout, src, dst, *child)) child.reset();
  return child;
}

// Every field of the child is written here, straight into it: no state-sized
// record on this function's own stack.
bool apply_move_into(const LaneState& parent, const BoardLayout& layout, int32_t src, int32_t dst,
                     LaneState& c) {
  assert(src != dst && &parent != &c);
  assert(src >= 0 && src < layout.lane_count && dst >= 0 && dst < layout.lane_count);
  // Source: its front item.
  if (layout.lane_len[at(src)] <= 0) return false;
  const int32_t a = front_slot(parent.grid, layout, src);
  if (a < 0) return false;
  const int32_t cs = cell_of(layout, src, a);
  const uint8_t v = parent.grid[at(cs)];

  // Lift first: the destination's front is read with the item gone.
  Grid& grid = c.grid;
  grid = parent.grid;
  grid[at(cs)] = 0;

  const int32_t d = landing_slot(lane_slots(grid, layout, dst));
  if (d < 0) return false;  // lane full
  const int32_t cd = cell_of(layout, dst, d);
  grid[at(cd)] = v;

  c.hash = parent.hash ^ zobrist_key(cs, v) ^ zobrist_key(cs, 0) ^ zobrist_key(cd, 0) ^
           zobrist_key(cd, v);

  // Totals: swap the two touched lanes' shares. These fields do not depend
  // on the threshold, so threshold 0 is enough.
  c.demand = parent.demand;
  c.supply = parent.supply;
  c.empty_slots = parent.empty_slots;
  count_lane(parent.lane_info[at(src)], -1, c.demand, c.supply, c.empty_slots);
  count_lane(parent.lane_info[at(dst)], -1, c.demand, c.supply, c.empty_slots);
  count_lane(summarise_lane(grid, layout, src, 0), +1, c.demand, c.supply, c.empty_slots);
  count_lane(summarise_lane(grid, layout, dst, 0), +1, c.demand, c.supply, c.empty_slots);

  settle_counts(c, pick_g_star(c.demand, c.supply));

  // Untouched lanes keep exact summaries unless the threshold moved.
  std::array<LaneSummary, kMaxLanes>& lane_info = c.lane_info;
  lane_info = parent.lane_info;
  lane_info[at(src)] = summarise_lane(grid, layout, src, c.g_star);
  lane_info[at(dst)] = summarise_lane(grid, layout, dst, c.g_star);
  if (c.g_star != parent.g_star) {
    for (int32_t i = 0; i < layout.lane_count; ++i) {
      if (i == src || i == dst) continue;
      lane_info[at(i)] = summarise_lane(grid, layout, i, c.g_star);
    }
  }

  // The clearing cost depends only on ds and the clearing fields; reuse the
  // parent's when none of them changed.
  c.extra = 0.0;
  if (c.ds > 0) {
    const bool unchanged = c.g_star == parent.g_star && c.ds == parent.ds &&
                           same_clearing(lane_info[at(src)], parent.lane_info[at(src)]) &&
                           same_clearing(lane_info[at(dst)], parent.lane_info[at(dst)]);
    c.extra = unchanged ? parent.extra : clearing_cost(c, layout.lane_count);
  }

  c.g = parent.g + 1;
  c.last_src = src;
  c.last_dst = dst;
  compose_h(c);
  return true;
}

}  // namespace velmora
