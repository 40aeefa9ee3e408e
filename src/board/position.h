#pragma once
// The mutable board of the fast search: one per worker, changed in place by
// do_move and restored by undo_move, so a descent copies no state. Every
// measure agrees with the LaneState that move application would build.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "board/lane_facts.h"
#include "board/lane_set.h"
#include "board/lane_state.h"
#include "board/zobrist.h"

namespace velmora {

// A lane's part of Position's room at threshold t.
inline int32_t room_share(const LaneFacts& f, int32_t t) {
  return f.room[static_cast<std::size_t>(t)];
}

// A child evaluated without being made: its measures and the move's slots.
struct ChildEval {
  Measures m;
  LevelCounts diff;  // the deficits diff(1..5) behind g_star
  int32_t src_slot;
  int32_t dst_slot;
  int32_t item;
  LaneFacts src_after;
  LaneFacts dst_after;
  int32_t room;  // the room at the child's g_star
};

// The front item of a source lane, lifted off: what every move out of that
// lane shares. lift_front fills the first part, enough for a sketch;
// lift_counts the rest, which least_h needs.
struct Lift {
  int32_t src;
  int32_t cell;
  int32_t item;
  const LaneFacts* after;  // the source lane without its front item
  uint64_t hash;           // the parent's hash with the item gone from its cell
  int32_t blokaj;          // the parent's blokaj, the source lane's share updated
  int32_t empty_slots;     // likewise
  LevelCounts diff;        // the parent's deficits diff(1..5), likewise
  LevelCounts room;        // the parent's room per threshold, likewise
  // The child's g_star pick when the destination frees no room: the item
  // joins its run (plain), or lands out of order on a lane without a run
  // top (misplaced, only for items of a counted level).
  GStarPick plain;
  GStarPick misplaced;
};

// What a child costs to know without evaluating it: its hash, and its
// blokaj, which bounds h from below (extra is never negative).
struct Sketch {
  uint64_t hash;
  int32_t blokaj;
};

// On cache lines of its own: each worker changes its board at every node.
class alignas(64) Position {
 public:
  explicit Position(const BoardLayout& layout);

  // Takes over a state made by evaluate_start or apply_move.
  void set(const LaneState& state);

  const Measures& measures() const { return m_; }
  const BoardLayout& layout() const { return *layout_; }
  int32_t front(int32_t lane) const { return front_[static_cast<std::size_t>(lane)]; }
  const LaneFacts& lane(int32_t lane) const { return lane_[static_cast<std::size_t>(lane)]; }
  uint8_t cell(int32_t lane, int32_t slot) const {
    return grid_[static_cast<std::size_t>(lane * layout_->capacity + slot)];
  }

  // The child after src -> dst into `child`; false when the move is
  // impossible. `child` is only written, so one record serves every call.
  bool evaluate(int32_t src, int32_t dst, ChildEval& child) const {
    if (!evaluate_counts(src, dst, child)) return false;
    complete(src, dst, child);
    return true;
  }
  // The same in two steps, since the clearing cost is the dear part and often
  // not needed: first every measure but extra, h and f; then those.
  bool evaluate_counts(int32_t src, int32_t dst, ChildEval& child) const;
  void complete(int32_t src, int32_t dst, ChildEval& child) const;
  // Whether the clearing cost of a child from evaluate_counts is positive,
  // which makes it at least 1.
  static bool clears(const ChildEval& child) { return child.m.ds > 0 && child.room >= child.m.ds; }
  std::optional<ChildEval> evaluate(int32_t src, int32_t dst) const {
    ChildEval child;
    if (!evaluate(src, dst, child)) return std::nullopt;
    return child;
  }

  // Whether `lane` has a free slot, so that moves may end there.
  bool has_room(int32_t lane) const { return landing_[static_cast<std::size_t>(lane)] != kNoRoom; }
  // The lanes with a free slot, and how many.
  const LaneSet& open_lanes() const { return open_; }
  int32_t open_count() const { return open_count_; }
  // The lanes with a free slot where an item of counted level v joins the
  // ordered run, so that a move of it there breaks nothing.
  const LaneSet& lands_in_order(int32_t v) const { return in_order_[static_cast<std::size_t>(v)]; }
  // The cheap part of a move out of `src`, then into `dst`: false when the
  // move is impossible. Agrees with evaluate on every move it allows. The
  // lift's blokaj, before the item lands, is the least of those children's.
  bool lift_front(int32_t src, Lift& lift) const {
    const auto a = front_[static_cast<std::size_t>(src)];
    if (a < 0) return false;
    const int32_t cs = src * layout_->capacity + a;
    const int32_t next = behind_[static_cast<std::size_t>(cs)];
    lift.src = src;
    lift.cell = cs;
    lift.item = grid_[static_cast<std::size_t>(cs)];
    lift.after = next >= 0 ? &facts_at_[static_cast<std::size_t>(cs - a + next)]
                           : &empty_[static_cast<std::size_t>(src)];
    lift.hash = m_.hash ^ fill_key(cs, static_cast<uint8_t>(lift.item));
    lift.blokaj = m_.blokaj - lane_[static_cast<std::size_t>(src)].misplaced_levels +
                  lift.after->misplaced_levels;
    return true;
  }
  void lift_counts(Lift& lift) const;
  bool lift(int32_t src, Lift& lift) const {
    if (!lift_front(src, lift)) return false;
    lift_counts(lift);
    return true;
  }
  bool sketch(const Lift& lift, int32_t dst, Sketch& sketch) const {
    if (!has_room(dst)) return false;
    const auto d = static_cast<std::size_t>(dst);
    const bool breaks = lift.item <= kTopLevel && lift.item > landing_[d];
    sketch = {lift.hash ^ fill_key(drop_cell(dst), static_cast<uint8_t>(lift.item)),
              lift.blokaj + (breaks ? 1 : 0)};
    return true;
  }
  // A sketched child's h when its clearing cost is 0, one more when it is
  // positive (it is then at least 1): the deficits and the room at the
  // child's g_star, from the two lanes' changes alone.
  int32_t least_h(const Lift& lift, int32_t dst, const Sketch& sketch) const {
    const auto d = static_cast<std::size_t>(dst);
    const LaneFacts& lane = lane_[d];
    const int32_t v = lift.item;
    const bool grows = v <= landing_[d];
    const int32_t len = layout_->lane_len[d];
    const int32_t slot = front_[d] > 0 ? front_[d] - 1 : len - 1;
    // A lane that breaks now frees the slots up to the item for its run top.
    const int32_t misplaced_level = !grows && v <= kTopLevel ? v : 0;
    const int32_t top = !grows && lane.run_len == lane.items && lane.run_front <= kTopLevel
                            ? lane.run_front
                            : 0;
    GStarPick pick = misplaced_level > 0 ? lift.misplaced : lift.plain;
    if (top > 0) {
      LevelCounts diff{};
      for (int32_t k = 1; k <= kTopLevel; ++k) {
        const auto i = static_cast<std::size_t>(k);
        diff[i] = lift.diff[i] + (k <= misplaced_level ? 1 : 0) - (k <= top ? slot + 1 : 0);
      }
      pick = pick_g_star(diff);
    }
    const auto [g_star, best] = pick;
    const int32_t ds = best - (lift.empty_slots - (lane.items == 0 ? len : 0));
    if (ds <= 0) return sketch.blokaj;
    int32_t room = lift.room[static_cast<std::size_t>(g_star)];
    if (grows) {
      const int32_t below = lane.below[static_cast<std::size_t>(g_star)] + (v < g_star ? 1 : 0);
      room += (below > 0 ? lane.length - (lane.run_len + 1 - below) : 0) - room_share(lane, g_star);
    }
    return room >= ds ? sketch.blokaj + 1 : sketch.blokaj;
  }

  // The hash of every child, in generation order (sources, then
  // destinations, in lane order; the last move's reversal left out).
  void child_hashes(std::vector<uint64_t>& out) const;

  // Makes the evaluated move; undo_move takes back the last one made.
  void do_move(int32_t src, int32_t dst, const ChildEval& child);
  void undo_move();

  // The equivalent LaneState, built from scratch (for tests and checks).
  LaneState to_lane_state() const;

  // The incremental record equals an evaluation of the grid from scratch.
  bool is_ok() const;

 private:
  struct Undo {
    Measures m;
    LevelCounts room;
    LevelCounts diff;
    LaneFacts src_facts;  // the source lane's, before the move
    int32_t src;
    int32_t dst;
    int32_t src_slot;
    int32_t dst_slot;
  };

  // `value` put in front of the lane's items; `facts` are the lane's after that.
  void place(int32_t lane, int32_t slot, int32_t value, const LaneFacts& facts);
  void refresh_landing(int32_t lane);  // after the lane changed
  // The cell an item moved into `lane` lands in (the lane has room).
  int32_t drop_cell(int32_t lane) const {
    const int32_t b = front_[static_cast<std::size_t>(lane)];
    return lane * layout_->capacity +
           (b > 0 ? b - 1 : layout_->lane_len[static_cast<std::size_t>(lane)] - 1);
  }
  double child_extra(const ChildEval& child, int32_t src, int32_t dst) const;

  const BoardLayout* layout_;
  Measures m_;
  Grid grid_{};
  std::array<int16_t, kMaxLanes> front_{};
  std::array<LaneFacts, kMaxLanes> lane_{};
  std::array<LaneFacts, kMaxLanes> empty_{};
  // Per lane, the greatest value that joins its run when put in front (-1
  // when it is broken), or kNoRoom when it has no free slot: all that the
  // inner loop of an expansion reads of a destination.
  static constexpr int16_t kNoRoom = -2;
  std::array<int16_t, kMaxLanes> landing_{};
  LaneSet open_;
  int32_t open_count_ = 0;
  std::array<LaneSet, kTopLevel + 1> in_order_{};  // by level 1..5
  // Facts of the lane made of the item in this cell and those behind it, and
  // the slot of the next item behind; valid for every occupied cell.
  // One entry per cell of this board, not of the largest one: a small board
  // makes a small record, which a short run gets from reused memory.
  std::vector<LaneFacts> facts_at_;
  std::vector<int16_t> behind_;
  std::vector<Undo> undo_;
  LevelCounts diff_{};  // deficits diff(1..5) of the position
  // Per threshold t = 1..5, the room all lanes clearable at t would free
  // together: the clearing cost is positive exactly when ds > 0 and this
  // reaches ds.
  LevelCounts room_{};
};

}  // namespace velmora
