#include "plan/room_offers.h"

#include <algorithm>
#include <bit>
#include <cassert>


namespace velmora {
namespace {

struct Pair {
  int32_t cost = 0;
  int32_t slots = 0;
};

// Every (cost, slots) pair, cheapest per slot first.
constexpr std::array<Pair, RoomOffers::kPairs> pairs_by_price() {
  std::array<Pair, RoomOffers::kPairs> pairs{};
  std::size_t n = 0;
  for (int32_t slots = 1; slots <= kOfferSlots; ++slots) {
    for (int32_t cost = 1; cost <= slots; ++cost) pairs[n++] = {cost, slots};
  }
  std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
    return a.cost * b.slots < b.cost * a.slots;
  });
  return pairs;
}

constexpr std::array<Pair, RoomOffers::kPairs> kByPrice = pairs_by_price();

// [cost][slots]: the pair's place in kByPrice.
constexpr auto kPlace = [] {
  std::array<std::array<uint8_t, kOfferSlots + 1>, kOfferSlots + 1> place{};
  for (std::size_t i = 0; i < kByPrice.size(); ++i) {
    place[static_cast<std::size_t>(kByPrice[i].cost)][static_cast<std::size_t>(kByPrice[i].slots)] =
        static_cast<uint8_t>(i);
  }
  return place;
}();

}  // namespace

void RoomOffers::count(int32_t g, RoomOffer offer, int sign) {
  if (offer.cost == 0) return;
  assert(offer.slots <= kOfferSlots);
  const std::size_t place = kPlace[static_cast<std::size_t>(offer.cost)][static_cast<std::size_t>(offer.slots)];
  auto& lanes = lanes_[static_cast<std::size_t>(g)][place];
  lanes = static_cast<uint8_t>(lanes + sign);
  uint64_t& word = present_[static_cast<std::size_t>(g)][place / 64];
  const uint64_t bit = uint64_t{1} << (place % 64);
  word = lanes != 0 ? word | bit : word & ~bit;
}

void RoomOffers::count(const LaneOffers& offers, int sign) {
  for (int32_t g = 1; g <= kTopLevel; ++g) count(g, offers[static_cast<std::size_t>(g)], sign);
}

void RoomOffers::change(const LaneOffers& before, const LaneOffers& after) {
  for (int32_t g = 1; g <= kTopLevel; ++g) {
    const auto at_g = static_cast<std::size_t>(g);
    if (before[at_g] == after[at_g]) continue;
    count(g, before[at_g], -1);
    count(g, after[at_g], +1);
  }
}

int32_t RoomOffers::cover(int32_t g, int32_t need) const {
  assert(need > 0);
  const auto at_g = static_cast<std::size_t>(g);
  int32_t cost = 0;
  for (std::size_t w = 0; w < kWords; ++w) {
    for (uint64_t bits = present_[at_g][w]; bits != 0; bits &= bits - 1) {
      const std::size_t place = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
      const Pair p = kByPrice[place];
      const int32_t lanes = lanes_[at_g][place];
      const int32_t whole = (need - 1) / p.slots;  // lanes taken whole before the need is met
      if (lanes > whole) {
        const int32_t rest = need - whole * p.slots;
        return cost + whole * p.cost + (p.cost * rest + p.slots - 1) / p.slots;
      }
      cost += lanes * p.cost;
      need -= lanes * p.slots;
    }
  }
  assert(false && "the board has room for every item");
  return cost;
}

}  // namespace velmora
