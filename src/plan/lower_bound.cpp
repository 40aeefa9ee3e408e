#include "plan/lower_bound.h"

#include <algorithm>
#include <cassert>
#include <span>
#include <utility>

namespace velmora {
namespace {

struct Offer {
  int32_t cost;  // base moves, > 0
  int32_t room;  // slots gained, > 0
};

// The least cost of `need` slots, offers taken whole or in part, cheapest
// per slot first; rounded up. There is always room enough on the board for
// every item, so the offers cover the need. Few offers are taken, so the
// cheapest is picked each time rather than all sorted.
int32_t cover(std::span<Offer> offers, int32_t need) {
  int32_t cost = 0;
  for (std::size_t taken = 0; taken < offers.size(); ++taken) {
    std::size_t best = taken;
    for (std::size_t i = taken + 1; i < offers.size(); ++i) {
      if (offers[i].cost * offers[best].room < offers[best].cost * offers[i].room) best = i;
    }
    std::swap(offers[taken], offers[best]);
    const Offer& o = offers[taken];
    if (o.room >= need) return cost + (o.cost * need + o.room - 1) / o.room;
    cost += o.cost;
    need -= o.room;
  }
  assert(false && "the board has room for every item");
  return cost;
}

// The `room` term of lower_bound.h for level g.
int32_t room_moves(const PlanBoard& board, int32_t g) {
  const int32_t need = board.room_need(g);
  if (need <= 0) return 0;
  Offer offers[kMaxLanes];  // filled before read
  std::size_t n = 0;
  const auto at_g = static_cast<std::size_t>(g);
  for (int32_t i = 0; i < board.lane_count(); ++i) {
    const PlanLane& lane = board.lane(i);
    const int32_t room = board.lane_len(i) - lane.run_from[at_g];
    const int32_t cost = lane.base_items - lane.run_from[at_g] - lane.forced;
    assert(cost >= 0 && room >= 0);
    if (room > 0 && cost > 0) offers[n++] = {cost, room};
  }
  return cover(std::span(offers, n), need);
}

}  // namespace

int32_t lower_bound(const PlanBoard& board) {
  const int32_t misplaced = board.misplaced();
  if (misplaced == 0) return 0;
  int32_t least = kAnyItem;  // the least item of M
  int32_t accepted = -1;     // the greatest item some lane accepts
  int32_t forced = 0;
  for (int32_t i = 0; i < board.lane_count(); ++i) {
    const PlanLane& lane = board.lane(i);
    least = std::min(least, lane.least_misplaced);
    accepted = std::max(accepted, lane.base_accepts);
    forced += lane.forced;
  }
  int32_t room = 0;
  for (int32_t g = 1; g <= kTopLevel; ++g) room = std::max(room, room_moves(board, g));
  return misplaced + std::max(least <= accepted ? 0 : 1, forced + room);
}

}  // namespace velmora
