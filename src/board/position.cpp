#include "board/position.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "board/move.h"
#include "board/zobrist.h"
#include "board/clearing.h"

namespace velmora {
namespace {

std::size_t at(int32_t i) { return static_cast<std::size_t>(i); }

bool same_clear_fields(const LaneFacts& a, const LaneFacts& b, int32_t t) {
  const int32_t ca = a.clear_cost(t);
  const int32_t cb = b.clear_cost(t);
  if (ca != cb) return false;
  return ca == 0 || a.clear_gain(t) == b.clear_gain(t);
}

}  // namespace

Position::Position(const BoardLayout& layout)
    : layout_(&layout),
      facts_at_(static_cast<std::size_t>(layout.lane_count * layout.capacity)),
      behind_(static_cast<std::size_t>(layout.lane_count * layout.capacity), -1) {
  landing_.fill(kNoRoom);
  for (int32_t i = 0; i < layout.lane_count; ++i) {
    empty_[at(i)] = empty_lane_facts(layout.lane_len[at(i)]);
  }
}

void Position::place(int32_t lane, int32_t slot, int32_t value, const LaneFacts& facts) {
  const std::size_t c = at(lane * layout_->capacity + slot);
  grid_[c] = static_cast<uint8_t>(value);
  facts_at_[c] = facts;
  behind_[c] = front_[at(lane)];
  front_[at(lane)] = static_cast<int16_t>(slot);
  lane_[at(lane)] = facts_at_[c];
  refresh_landing(lane);
}

void Position::refresh_landing(int32_t lane) {
  const bool room = layout_->lane_len[at(lane)] > 0 && front_[at(lane)] != 0;
  const int32_t landing = room ? lane_[at(lane)].accepts_up_to() : kNoRoom;
  open_count_ += (room ? 1 : 0) - (open_.contains(lane) ? 1 : 0);
  landing_[at(lane)] = static_cast<int16_t>(landing);
  open_.assign(lane, room);
  for (int32_t v = 1; v <= kTopLevel; ++v) in_order_[at(v)].assign(lane, v <= landing);
}

void Position::set(const LaneState& state) {
  grid_.fill(0);
  undo_.clear();
  landing_.fill(kNoRoom);
  for (int32_t i = 0; i < layout_->lane_count; ++i) {
    front_[at(i)] = -1;
    lane_[at(i)] = empty_[at(i)];
    refresh_landing(i);
    for (int32_t s = layout_->lane_len[at(i)] - 1; s >= 0; --s) {
      const int32_t v = state.grid[at(i * layout_->capacity + s)];
      if (v != 0) place(i, s, v, push_item(lane_[at(i)], v, s));
    }
  }
  m_ = state;
  diff_ = deficits(m_.demand, m_.supply);
  room_.fill(0);
  for (int32_t i = 0; i < layout_->lane_count; ++i) {
    for (int32_t t = 1; t <= kTopLevel; ++t) room_[at(t)] += room_share(lane_[at(i)], t);
  }
}

void Position::child_hashes(std::vector<uint64_t>& out) const {
  out.clear();
  const int32_t cap = layout_->capacity;
  for (int32_t src = 0; src < layout_->lane_count; ++src) {
    const int32_t a = front_[at(src)];
    if (a < 0) continue;
    const int32_t cs = src * cap + a;
    const auto item = static_cast<uint8_t>(grid_[at(cs)]);
    const uint64_t lifted = m_.hash ^ fill_key(cs, item);
    for (int32_t dst = 0; dst < layout_->lane_count; ++dst) {
      if (dst == src || (src == m_.last_dst && dst == m_.last_src) || !has_room(dst)) continue;
      out.push_back(lifted ^ fill_key(drop_cell(dst), item));
    }
  }
}

void Position::lift_counts(Lift& lift) const {
  const LaneFacts& before = lane_[at(lift.src)];
  const LaneFacts& after = *lift.after;
  lift.empty_slots = m_.empty_slots - before.empty_len + after.empty_len;
  for (int32_t k = 0; k <= kTopLevel; ++k) {
    lift.diff[at(k)] = diff_[at(k)] - before.deficit[at(k)] + after.deficit[at(k)];
    lift.room[at(k)] = room_[at(k)] - before.room[at(k)] + after.room[at(k)];
  }
  lift.plain = pick_g_star(lift.diff);
  if (lift.item <= kTopLevel) {
    LevelCounts diff = lift.diff;
    for (int32_t k = 1; k <= lift.item; ++k) ++diff[at(k)];
    lift.misplaced = pick_g_star(diff);
  }
}

double Position::child_extra(const ChildEval& child, int32_t src, int32_t dst) const {
  const Measures& c = child.m;
  if (c.ds <= 0) return 0.0;
  // The cost is a function of ds and the lanes' clear fields at g_star: when
  // none of them changed, the parent's value stands.
  if (c.g_star == m_.g_star && c.ds == m_.ds &&
      same_clear_fields(child.src_after, lane_[at(src)], c.g_star) &&
      same_clear_fields(child.dst_after, lane_[at(dst)], c.g_star)) {
    return m_.extra;
  }
  const auto lane_at = [&](int32_t i) -> const LaneFacts& {
    return i == src ? child.src_after : i == dst ? child.dst_after : lane_[at(i)];
  };
  std::array<int32_t, kMaxCells + 1> table;  // ds never exceeds the number of cells
  return clearing_cost(c.ds, c.g_star, layout_->lane_count, lane_at, table);
}

bool Position::evaluate_counts(int32_t src, int32_t dst, ChildEval& child) const {
  assert(src != dst && src >= 0 && dst >= 0);
  assert(src < layout_->lane_count && dst < layout_->lane_count);
  const int32_t a = front_[at(src)];
  if (a < 0 || layout_->lane_len[at(dst)] <= 0) return false;
  const int32_t b = front_[at(dst)];
  if (b == 0) return false;

  const int32_t cap = layout_->capacity;
  const int32_t cs = src * cap + a;
  const int32_t v = grid_[at(cs)];
  const int32_t d = b > 0 ? b - 1 : layout_->lane_len[at(dst)] - 1;
  const int32_t cd = dst * cap + d;
  const int32_t next = behind_[at(cs)];
  child.src_slot = a;
  child.dst_slot = d;
  child.item = v;
  child.src_after = next >= 0 ? facts_at_[at(src * cap + next)] : empty_[at(src)];
  child.dst_after = push_item(lane_[at(dst)], v, d);

  Measures& c = child.m;
  c.hash = m_.hash ^ fill_key(cs, static_cast<uint8_t>(v)) ^ fill_key(cd, static_cast<uint8_t>(v));
  c.demand = m_.demand;
  c.supply = m_.supply;
  c.empty_slots = m_.empty_slots;
  count_lane(lane_[at(src)], -1, c.demand, c.supply, c.empty_slots);
  count_lane(lane_[at(dst)], -1, c.demand, c.supply, c.empty_slots);
  count_lane(child.src_after, +1, c.demand, c.supply, c.empty_slots);
  count_lane(child.dst_after, +1, c.demand, c.supply, c.empty_slots);

  child.diff = deficits(c.demand, c.supply);
  settle_counts(c, pick_g_star(child.diff));
  c.g = m_.g + 1;
  c.last_src = src;
  c.last_dst = dst;
  const int32_t t = c.g_star;
  child.room = room_[at(t)] - room_share(lane_[at(src)], t) - room_share(lane_[at(dst)], t) +
               room_share(child.src_after, t) + room_share(child.dst_after, t);
  return true;
}

void Position::complete(int32_t src, int32_t dst, ChildEval& child) const {
  Measures& c = child.m;
  c.extra = clears(child) ? child_extra(child, src, dst) : 0.0;
  compose_h(c);
}

void Position::do_move(int32_t src, int32_t dst, const ChildEval& child) {
  assert(child.m.last_src == src && child.m.last_dst == dst && child.m.g == m_.g + 1);
  undo_.push_back({m_, room_, diff_, lane_[at(src)], src, dst, child.src_slot, child.dst_slot});
  for (int32_t t = 1; t <= kTopLevel; ++t) {
    room_[at(t)] += room_share(child.src_after, t) + room_share(child.dst_after, t) -
                   room_share(lane_[at(src)], t) - room_share(lane_[at(dst)], t);
  }
  const int32_t cap = layout_->capacity;
  const std::size_t cs = at(src * cap + child.src_slot);
  grid_[cs] = 0;
  front_[at(src)] = behind_[cs];
  lane_[at(src)] = child.src_after;
  refresh_landing(src);
  place(dst, child.dst_slot, child.item, child.dst_after);
  m_ = child.m;
  diff_ = child.diff;
  assert(is_ok());
}

void Position::undo_move() {
  assert(!undo_.empty());
  const Undo u = undo_.back();
  undo_.pop_back();
  const int32_t cap = layout_->capacity;
  const std::size_t cd = at(u.dst * cap + u.dst_slot);
  const int32_t item = grid_[cd];
  grid_[cd] = 0;
  front_[at(u.dst)] = behind_[cd];
  const int32_t next = behind_[cd];
  lane_[at(u.dst)] = next >= 0 ? facts_at_[at(u.dst * cap + next)] : empty_[at(u.dst)];
  refresh_landing(u.dst);
  // The source cell may have held other items since: its facts come back
  // from the record.
  place(u.src, u.src_slot, item, u.src_facts);
  m_ = u.m;
  room_ = u.room;
  diff_ = u.diff;
  assert(is_ok());
}

LaneState Position::to_lane_state() const {
  LaneState state;
  clear_state(state);
  static_cast<Measures&>(state) = m_;
  state.grid = grid_;
  for (int32_t i = 0; i < layout_->lane_count; ++i) {
    state.lane_info[at(i)] = to_summary(lane_[at(i)], m_.g_star);
  }
  return state;
}

bool Position::is_ok() const {
  const LaneState want = evaluate_grid(grid_, *layout_, m_.g, m_.last_src, m_.last_dst);
  if (m_ != want) return false;
  int32_t open = 0;
  for (int32_t i = 0; i < layout_->lane_count; ++i) {
    if (to_summary(lane_[at(i)], m_.g_star) != want.lane_info[at(i)]) return false;
    if (front_[at(i)] != front_slot(grid_, *layout_, i)) return false;
    const bool room = layout_->lane_len[at(i)] > 0 && front_[at(i)] != 0;
    const int32_t landing = room ? lane_[at(i)].accepts_up_to() : kNoRoom;
    if (landing_[at(i)] != landing || open_.contains(i) != room) return false;
    for (int32_t v = 1; v <= kTopLevel; ++v) {
      if (in_order_[at(v)].contains(i) != (v <= landing)) return false;
    }
    open += room ? 1 : 0;
  }
  if (open != open_.size() || open != open_count_) return false;
  for (int32_t t = 1; t <= kTopLevel; ++t) {
    int32_t room = 0;
    for (int32_t i = 0; i < layout_->lane_count; ++i) room += room_share(lane_[at(i)], t);
    if (room != room_[at(t)]) return false;
  }
  return true;
}

}  // namespace velmora
