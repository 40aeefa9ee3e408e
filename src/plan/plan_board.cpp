#include "plan/plan_board.h"

#include <algorithm>
#include <cassert>

#include "board/zobrist.h"

namespace velmora {
namespace {

bool is_level(int32_t v) { return v >= 1 && v <= kTopLevel; }

uint64_t mix(uint64_t x) {  // splitmix64's finaliser
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// What a lane's counts imply for the room count: per level g, the base
// moves that make it ready to take items of level g or more and the slots
// it then has for them; a lane ready as it is counts its slots against its
// misplaced items.
void settle_room(PlanLane& l, int32_t lane_len) {
  for (int32_t g = 1; g <= kTopLevel; ++g) {
    const auto at_g = static_cast<std::size_t>(g);
    const int32_t slots = lane_len - l.run_from[at_g];
    const int32_t cost = l.base_items - l.run_from[at_g] - l.forced;
    assert(cost >= 0 && slots >= cost);
    l.room_need[at_g] = static_cast<int8_t>(l.misplaced_from[at_g] - (cost == 0 ? slots : 0));
    l.offers[at_g] = cost == 0 || slots == 0
                         ? RoomOffer{}
                         : RoomOffer{static_cast<int16_t>(cost), static_cast<int16_t>(slots)};
  }
}

}  // namespace

uint64_t second_key(int32_t cell, uint8_t value) {
  return mix(static_cast<uint64_t>(cell) * kCellValues + value + 0x5bd1e995ULL);
}

PositionKey position_key(const Grid& grid, const BoardLayout& layout) {
  PositionKey key{grid_hash(grid, layout), 0};
  const int32_t n = layout.lane_count * layout.capacity;
  for (int32_t c = 0; c < n; ++c) key.b ^= second_key(c, grid[static_cast<std::size_t>(c)]);
  return key;
}

PlanBoard::PlanBoard(const BoardLayout& layout) : layout_(&layout), grid_(layout.start_grid) {
  for (int32_t i = 0; i < layout.lane_count; ++i) {
    if (lane_len(i) > kOfferSlots) offers_kept_ = false;
  }
  for (int32_t i = 0; i < layout.lane_count; ++i) {
    front_[at(i)] = static_cast<int16_t>(front_slot(grid_, layout, i));
    refresh(i);
  }
  key_ = position_key(grid_, layout);
}

// Walks the lane from the back, as the puzzle's order rule does: the first
// item greater than the one behind it breaks the run, and it and every item
// in front of it are misplaced (those of levels 1..5 count).
PlanLane PlanBoard::walk(int32_t lane) const {
  PlanLane l;
  const int32_t first = front(lane);
  if (first < 0) {
    l.base_accepts = lane_len(lane) > 0 ? kAnyItem : -1;
    return l;
  }
  const uint8_t* cells = grid_.data() + lane * layout_->capacity;
  int32_t run_front = -1;
  int32_t breaking = -1;
  for (int32_t slot = lane_len(lane) - 1; slot >= first; --slot) {
    const int32_t v = cells[slot];
    if (v == 0) continue;
    if (run_front >= 0 && v > run_front) {
      breaking = slot;
      break;
    }
    run_front = v;
    ++l.base_items;
    ++l.run_from[at(std::min(v, kTopLevel))];  // per level for now, summed below
  }
  for (int32_t g = kTopLevel - 1; g >= 1; --g) l.run_from[at(g)] += l.run_from[at(g + 1)];
  if (breaking < 0) {
    l.base_accepts = first > 0 ? run_front : -1;
    return l;
  }
  l.broken = true;
  int8_t big_in_front = 0;  // items above 5 met so far, from the front
  for (int32_t slot = first; slot <= breaking; ++slot) {
    const int32_t v = cells[slot];
    if (v == 0) continue;
    if (is_level(v)) {
      ++l.misplaced;
      if (v < l.least_misplaced) l.least_misplaced = v;
      ++l.misplaced_from[at(v)];  // per level for now, summed below
      l.forced = big_in_front;
    } else {
      ++big_in_front;
    }
  }
  for (int32_t g = kTopLevel - 1; g >= 1; --g) l.misplaced_from[at(g)] += l.misplaced_from[at(g + 1)];
  l.base_items = static_cast<int8_t>(l.base_items + big_in_front);
  // Without its misplaced items the lane is its run, which starts behind the
  // breaking slot, so there is room in front of it.
  if (big_in_front == 0) l.base_accepts = run_front;
  return l;
}

PlanLane PlanBoard::analyse(int32_t lane) const {
  PlanLane l = walk(lane);
  settle_room(l, lane_len(lane));
  return l;
}

void BoardTotals::count(const PlanLane& lane, int sign, bool with_offers) {
  misplaced += sign * lane.misplaced;
  forced += sign * lane.forced;
  for (int32_t g = 1; g <= kTopLevel; ++g) {
    room_need[static_cast<std::size_t>(g)] += sign * lane.room_need[static_cast<std::size_t>(g)];
  }
  if (with_offers) offers.count(lane.offers, sign);
}

void PlanBoard::refresh(int32_t lane) {
  PlanLane& l = lanes_[at(lane)];
  const PlanLane now = analyse(lane);
  totals_.count(l, -1, false);
  totals_.count(now, +1, false);
  if (offers_kept_) totals_.offers.change(l.offers, now.offers);
  l = now;
}

void PlanBoard::shift(int32_t src, int32_t from_slot, int32_t dst, int32_t to_slot) {
  const int32_t cs = src * layout_->capacity + from_slot;
  const int32_t cd = dst * layout_->capacity + to_slot;
  const uint8_t v = grid_[at(cs)];
  grid_[at(cs)] = 0;
  grid_[at(cd)] = v;
  key_.a ^= fill_key(cs, v) ^ fill_key(cd, v);
  key_.b ^= second_key(cs, v) ^ second_key(cs, 0) ^ second_key(cd, 0) ^ second_key(cd, v);
  front_[at(src)] = static_cast<int16_t>(front_slot(grid_, *layout_, src));
  front_[at(dst)] = static_cast<int16_t>(to_slot < front(dst) || front(dst) < 0
                                             ? to_slot
                                             : front_slot(grid_, *layout_, dst));
  refresh(src);
  refresh(dst);
}

void PlanBoard::do_move(int32_t src, int32_t dst) {
  assert(can_move(src, dst));
  const int32_t from = front(src);
  const int32_t to = landing_slot(dst);
  undo_.push_back({static_cast<int16_t>(src), static_cast<int16_t>(dst),
                   static_cast<int16_t>(from), static_cast<int16_t>(to)});
  shift(src, from, dst, to);
}

void PlanBoard::undo_move() {
  assert(!undo_.empty());
  const Undo u = undo_.back();
  undo_.pop_back();
  shift(u.dst, u.dst_slot, u.src, u.src_slot);
}

bool PlanBoard::is_ok() const {
  BoardTotals totals;
  for (int32_t i = 0; i < lane_count(); ++i) {
    const PlanLane want = analyse(i);
    if (front(i) != front_slot(grid_, *layout_, i) || !(lanes_[at(i)] == want)) return false;
    totals.count(want, +1, offers_kept_);
  }
  return totals == totals_ && key_ == position_key(grid_, *layout_);
}

}  // namespace velmora
