#pragma once
// The mutable board of the fast search: one per worker, changed in place by
// do_move and restored by undo_move, so a descent copies no state. Every
// measure agrees with the LaneState that move application would build.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "board/lane_facts.h"
#include "board/lane_state.h"

namespace velmora {

// The measures of one position: what a LaneState holds besides its grid and
// lane summaries.
struct Measures {
  uint64_t hash = 0;
  LevelCounts demand{};
  LevelCounts supply{};
  int32_t empty_slots = 0;
  int32_t blokaj = 0;
  int32_t g_star = -1;
  int32_t ds = 0;
  double extra = 0.0;
  double h = 0.0;
  double f = 0.0;
  int32_t g = 0;
  int32_t last_src = -1;
  int32_t last_dst = -1;
};

// A child evaluated without being made: its measures and the move's slots.
struct ChildEval {
  Measures m;
  LevelCounts diff;  // the deficits diff(1..5) behind g_star
  int32_t src_slot;
  int32_t dst_slot;
  int32_t item;
  LaneFacts src_after;
  LaneFacts dst_after;
};

class Position {
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
  bool evaluate(int32_t src, int32_t dst, ChildEval& child) const;
  std::optional<ChildEval> evaluate(int32_t src, int32_t dst) const {
    ChildEval child;
    if (!evaluate(src, dst, child)) return std::nullopt;
    return child;
  }

  // Makes the evaluated move; undo_move takes back the last one made.
  void do_move(int32_t src, int32_t dst, const ChildEval& child);
  void undo_move();

  // The equivalent LaneState, built from scratch (for tests and checks).
  LaneState to_lane_state() const;

 private:
  struct Undo {
    Measures m;
    int32_t src;
    int32_t dst;
    int32_t src_slot;
    int32_t dst_slot;
  };

  void place(int32_t lane, int32_t slot, int32_t value);  // value in front of the lane's items
  double child_extra(const ChildEval& child, int32_t src, int32_t dst) const;

  const BoardLayout* layout_;
  Measures m_;
  Grid grid_{};
  std::array<int16_t, kMaxLanes> front_{};
  std::array<LaneFacts, kMaxLanes> lane_{};
  std::array<LaneFacts, kMaxLanes> empty_{};
  // Facts of the lane made of the item in this cell and those behind it, and
  // the slot of the next item behind; valid for every occupied cell.
  std::array<LaneFacts, kMaxCells> facts_at_{};
  std::array<int16_t, kMaxCells> behind_{};
  std::vector<Undo> undo_;
};

}  // namespace velmora
