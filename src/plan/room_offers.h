#pragma once
// The offers of the lower bound's room count (lower_bound.h), kept as the
// board changes: per level g, how many lanes offer each (cost, slots) pair,
// in order of cost per slot, so that the cheapest covering of a need walks a
// few counts instead of every lane. Only for boards whose lanes have at most
// kOfferSlots slots; lower_bound counts other boards lane by lane.

#include <array>
#include <cstdint>

#include "board/layout.h"

namespace velmora {

inline constexpr int32_t kOfferSlots = kMaxLaneItems;

// A lane's offer at level g: the base moves that make it ready to take items
// of level g or more, and the slots it then gives them. {0, 0}: no offer
// (a lane already ready, or one without a slot to give).
struct RoomOffer {
  int16_t cost = 0;
  int16_t slots = 0;
  bool operator==(const RoomOffer&) const = default;
};
using LaneOffers = std::array<RoomOffer, kTopLevel + 1>;  // [g], g = 1..5

class RoomOffers {
 public:
  // Adds (+1) or takes away (-1) a lane's offers at every level.
  void count(const LaneOffers& offers, int sign);
  // A lane's offers as they were and as they are now.
  void change(const LaneOffers& before, const LaneOffers& after);
  // The least cost of `need` slots at level g, offers taken whole or in
  // part, cheapest per slot first, rounded up (need > 0).
  int32_t cover(int32_t g, int32_t need) const;
  bool operator==(const RoomOffers&) const = default;

  // (cost, slots) pairs with 1 <= cost <= slots <= kOfferSlots: a lane's
  // slots are never fewer than its cost.
  static constexpr int32_t kPairs = kOfferSlots * (kOfferSlots + 1) / 2;

 private:
  static constexpr int32_t kWords = (kPairs + 63) / 64;
  void count(int32_t g, RoomOffer offer, int sign);
  std::array<std::array<uint8_t, kPairs>, kTopLevel + 1> lanes_{};  // [g][pair]: lanes offering it
  std::array<std::array<uint64_t, kWords>, kTopLevel + 1> present_{};  // [g]: pairs with a lane
};

}  // namespace velmora
