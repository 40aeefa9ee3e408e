#pragma once
// The measures of one position, the record both board models carry and
// compare as one value, and the one composition of them: blokaj, the g*/ds
// pick, and h = blokaj + extra, f = g + h.

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "board/layout.h"

namespace velmora {

using LevelCounts = std::array<int32_t, kTopLevel + 1>;  // index 1..5; entry 0 stays 0

struct Measures {
  uint64_t hash = 0;
  int32_t g = 0;
  double h = 0.0;
  double f = 0.0;
  int32_t blokaj = 0;
  LevelCounts demand{};  // misplaced items per level
  LevelCounts supply{};  // per level, the free slots in front of runs topped by it
  int32_t empty_slots = 0;
  int32_t g_star = -1;
  int32_t ds = 0;
  double extra = 0.0;  // the clearing cost
  int32_t last_src = -1;
  int32_t last_dst = -1;

  bool operator==(const Measures&) const = default;
};

// Adds (sign +1) or removes (sign -1) one lane's share of demand, supply and
// empty_slots; `Lane` is either form of a lane's analysis (LaneSummary, or
// the fast board's LaneFacts).
template <class Lane>
void count_lane(const Lane& lane, int32_t sign, LevelCounts& demand, LevelCounts& supply,
                int32_t& empty_slots) {
  for (int32_t k = 1; k <= kTopLevel; ++k) {
    demand[static_cast<std::size_t>(k)] += sign * lane.misplaced[static_cast<std::size_t>(k)];
  }
  if (lane.run_top >= 1 && lane.run_top <= kTopLevel) {
    supply[static_cast<std::size_t>(lane.run_top)] += sign * lane.run_free;
  }
  empty_slots += sign * lane.empty_len;
}

// diff(k) for k = 1..5: misplaced items of level k and above less the supply
// of runs topped by level k and above. Entry 0 stays 0.
LevelCounts deficits(const LevelCounts& demand, const LevelCounts& supply);

struct GStarPick {
  int32_t g_star;
  int32_t deficit;  // the greatest deficit, diff(g_star)
};

// The level of greatest deficit from the deficits diff(1..5); on equal
// deficits the higher level.
inline GStarPick pick_g_star(const LevelCounts& diff) {
  GStarPick best{1, diff[1]};
  // Upwards, so that equal deficits keep the higher level.
  for (int32_t k = 2; k <= kTopLevel; ++k) {
    const int32_t deficit = diff[static_cast<std::size_t>(k)];
    if (deficit >= best.deficit) best = {k, deficit};
  }
  return best;
}
inline GStarPick pick_g_star(const LevelCounts& demand, const LevelCounts& supply) {
  return pick_g_star(deficits(demand, supply));
}

// Sets blokaj, g_star and ds of a record whose demand and empty_slots are in
// place, from the pick of its deficits.
inline void settle_counts(Measures& m, const GStarPick& pick) {
  int32_t blokaj = 0;
  for (int32_t k = 1; k <= kTopLevel; ++k) blokaj += m.demand[static_cast<std::size_t>(k)];
  m.blokaj = blokaj;
  m.g_star = pick.g_star;
  m.ds = pick.deficit - m.empty_slots;
}

// Sets h and f of a record whose blokaj, extra and g are in place.
inline void compose_h(Measures& m) {
  assert(m.extra >= 0.0 && (m.ds > 0 || m.extra == 0.0));
  m.h = static_cast<double>(m.blokaj) + m.extra;
  m.f = static_cast<double>(m.g) + m.h;
}

}  // namespace velmora
