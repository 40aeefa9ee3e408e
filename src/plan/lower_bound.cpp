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
  for (int32_t i = 0; i < board.lane_count(); ++i) {
    const RoomOffer o = board.lane(i).offers[static_cast<std::size_t>(g)];
    if (o.cost > 0) offers[n++] = {o.cost, o.slots};
  }
  return cover(std::span(offers, n), need);
}

// The `one` term of lower_bound.h.
int32_t one_more(const PlanBoard& board) {
  int32_t least = kAnyItem;  // the least item of M
  int32_t accepted = -1;     // the greatest item some lane accepts
  for (int32_t i = 0; i < board.lane_count(); ++i) {
    least = std::min(least, board.lane(i).least_misplaced);
    accepted = std::max(accepted, board.lane(i).base_accepts);
  }
  return least <= accepted ? 0 : 1;
}

}  // namespace

int32_t lower_bound_by_lanes(const PlanBoard& board) {
  const int32_t misplaced = board.misplaced();
  if (misplaced == 0) return 0;
  int32_t forced = 0;
  for (int32_t i = 0; i < board.lane_count(); ++i) forced += board.lane(i).forced;
  int32_t room = 0;
  for (int32_t g = 1; g <= kTopLevel; ++g) room = std::max(room, room_moves(board, g));
  return misplaced + std::max(one_more(board), forced + room);
}

int32_t lower_bound(const PlanBoard& board) {
  const RoomOffers* offers = board.room_offers();
  if (offers == nullptr) return lower_bound_by_lanes(board);
  const int32_t misplaced = board.misplaced();
  if (misplaced == 0) return 0;
  int32_t room = 0;
  for (int32_t g = 1; g <= kTopLevel; ++g) {
    const int32_t need = board.room_need(g);
    if (need > 0) room = std::max(room, offers->cover(g, need));
  }
  const int32_t extra = board.forced() + room;
  return misplaced + (extra > 0 ? extra : one_more(board));  // `one` is at most 1
}

}  // namespace velmora
