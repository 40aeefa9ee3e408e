#include "plan/lower_bound.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <span>

namespace velmora {
namespace {

struct Offer {
  int32_t cost = 0;  // base moves
  int32_t room = 0;  // slots gained, > 0
};

// The least cost of `need` slots, offers taken whole or in part, cheapest
// per slot first; rounded up. There is always room enough on the board for
// every item, so the offers cover the need.
int32_t cover(std::span<Offer> offers, int32_t need) {
  std::sort(offers.begin(), offers.end(), [](const Offer& a, const Offer& b) {
    return a.cost * b.room < b.cost * a.room;
  });
  int32_t cost = 0;
  for (const Offer& o : offers) {
    if (o.room >= need) return cost + (o.cost * need + o.room - 1) / o.room;
    cost += o.cost;
    need -= o.room;
  }
  assert(false && "the board has room for every item");
  return cost;
}

// The `room` term of lower_bound.h for level g.
int32_t room_moves(const PlanBoard& board, int32_t g) {
  std::array<Offer, kMaxLanes> offers;
  std::size_t n = 0;
  int32_t need = 0;
  for (int32_t i = 0; i < board.lane_count(); ++i) {
    const PlanLane& lane = board.lane(i);
    const auto at_g = static_cast<std::size_t>(g);
    need += lane.misplaced_from[at_g];
    const int32_t room = board.lane_len(i) - lane.run_from[at_g];
    const int32_t cost = lane.base_items - lane.run_from[at_g] - lane.forced;
    assert(cost >= 0 && room >= 0);
    if (room == 0) continue;
    if (cost == 0) {
      need -= room;
    } else {
      offers[n++] = {cost, room};
    }
  }
  if (need <= 0) return 0;
  return cover(std::span(offers.data(), n), need);
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
