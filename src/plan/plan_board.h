#pragma once
// The planner's mutable board: the cells of each lane with its front, each
// lane's share of what the lower bound and the first plan read, and a
// 128-bit position key. do_move and undo_move change it in place, so a
// descent copies nothing.

#include <array>
#include <cstdint>
#include <vector>

#include "board/layout.h"
#include "board/move.h"
#include "plan/room_offers.h"

namespace velmora {

// A value above every item: what an empty lane accepts.
inline constexpr int32_t kAnyItem = 256;

// Two independent 64-bit hashes of the cells; positions are told apart by
// the pair (a false match among 2^32 positions has odds near 2^-64).
struct PositionKey {
  uint64_t a = 0;
  uint64_t b = 0;
  bool operator==(const PositionKey&) const = default;
};

struct PlanLane {
  int32_t misplaced = 0;          // misplaced items of levels 1..5
  int32_t least_misplaced = kAnyItem;  // the least of them
  bool broken = false;            // some item stands above a smaller one behind it
  // The greatest item that could come to rest on this lane without any of
  // its items but the misplaced ones of levels 1..5 moving first (-1: none).
  // See lower_bound.h.
  int32_t base_accepts = -1;
  // What the room count of lower_bound.h reads. The base is the lane without
  // its misplaced items of levels 1..5.
  int8_t base_items = 0;  // items in the base
  int8_t forced = 0;      // base items in front of a misplaced item of levels 1..5
  std::array<int8_t, kTopLevel + 1> run_from{};        // [g]: run items of at least g
  std::array<int8_t, kTopLevel + 1> misplaced_from{};  // [g]: misplaced items of levels g..5
  // [g]: misplaced_from[g], less the lane's free slots for them when it is
  // ready to take them without a base item moving (lower_bound.h).
  std::array<int8_t, kTopLevel + 1> room_need{};
  LaneOffers offers{};  // [g]: when it is not ready (room_offers.h)
  bool operator==(const PlanLane&) const = default;
};

// The lanes' shares summed over the board.
struct BoardTotals {
  int32_t misplaced = 0;
  int32_t forced = 0;
  std::array<int32_t, kTopLevel + 1> room_need{};
  RoomOffers offers;  // kept only when `with_offers`
  // Adds (+1) or takes away (-1) a lane's share.
  void count(const PlanLane& lane, int sign, bool with_offers);
  bool operator==(const BoardTotals&) const = default;
};

class PlanBoard {
 public:
  explicit PlanBoard(const BoardLayout& layout);

  const BoardLayout& layout() const { return *layout_; }
  int32_t lane_count() const { return layout_->lane_count; }
  int32_t lane_len(int32_t lane) const { return layout_->lane_len[at(lane)]; }
  int32_t front(int32_t lane) const { return front_[at(lane)]; }  // -1: no item
  uint8_t cell(int32_t lane, int32_t slot) const {
    return grid_[at(lane * layout_->capacity + slot)];
  }
  const Grid& grid() const { return grid_; }
  int32_t front_item(int32_t lane) const { return front(lane) < 0 ? 0 : cell(lane, front(lane)); }
  bool has_room(int32_t lane) const { return lane_len(lane) > 0 && front(lane) != 0; }
  // The slot a move into `lane` fills (the lane has room).
  int32_t landing_slot(int32_t lane) const {
    return front(lane) > 0 ? front(lane) - 1 : lane_len(lane) - 1;
  }
  bool can_move(int32_t src, int32_t dst) const {
    return src != dst && front(src) >= 0 && has_room(dst);
  }
  // Whether an item of value v put on `lane` now stays in order there.
  bool lands_well(int32_t lane, int32_t v) const {
    const PlanLane& l = lanes_[at(lane)];
    return has_room(lane) && !l.broken && (front(lane) < 0 || v <= front_item(lane));
  }

  const PlanLane& lane(int32_t lane) const { return lanes_[at(lane)]; }
  int32_t misplaced() const { return totals_.misplaced; }  // over all lanes
  int32_t room_need(int32_t g) const { return totals_.room_need[at(g)]; }  // over all lanes
  int32_t forced() const { return totals_.forced; }  // over all lanes
  // The lanes' offers by level; null on a board with a lane too long for them.
  const RoomOffers* room_offers() const { return offers_kept_ ? &totals_.offers : nullptr; }
  bool sorted() const { return totals_.misplaced == 0; }
  PositionKey key() const { return key_; }
  int32_t moves_made() const { return static_cast<int32_t>(undo_.size()); }

  // Moves the front item of src in front of dst's items (can_move holds).
  void do_move(int32_t src, int32_t dst);
  void undo_move();  // takes back the last move made

  // Whether the cached figures agree with the cells (Debug checks, tests).
  bool is_ok() const;

 private:
  struct Undo {
    int16_t src, dst, src_slot, dst_slot;
  };
  static std::size_t at(int32_t i) { return static_cast<std::size_t>(i); }
  PlanLane walk(int32_t lane) const;     // the lane's items, from the back
  PlanLane analyse(int32_t lane) const;  // walk, and what it implies
  void refresh(int32_t lane);
  void shift(int32_t src, int32_t from_slot, int32_t dst, int32_t to_slot);

  const BoardLayout* layout_;
  Grid grid_{};
  std::array<int16_t, kMaxLanes> front_{};
  std::array<PlanLane, kMaxLanes> lanes_{};
  BoardTotals totals_;
  bool offers_kept_ = true;  // no lane longer than kOfferSlots
  PositionKey key_{};
  std::vector<Undo> undo_;
};

// The second hash's key of a cell holding a value (the first is zobrist_key).
uint64_t second_key(int32_t cell, uint8_t value);

// The key of a grid from scratch (what PlanBoard::key keeps up to date).
PositionKey position_key(const Grid& grid, const BoardLayout& layout);

}  // namespace velmora
