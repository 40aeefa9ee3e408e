#include "bounds/heuristic.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace velmora {
namespace {

constexpr int32_t kUnreachable = 1'000'000'000;

}  // namespace

double least_clearing_cost(int32_t ds, std::span<const ClearChoice> choices,
                           std::span<int32_t> table) {
  if (ds <= 0) return 0.0;
  int32_t total_gain = 0;
  for (const ClearChoice& choice : choices) total_gain += choice.gain;
  if (total_gain < ds) return 0.0;
  // table[d]: least total cost reaching exactly d slots of room.
  std::fill_n(table.begin(), ds + 1, kUnreachable);
  table[0] = 0;
  for (const auto [gain, cost] : choices) {
    // Downwards, so that each lane is taken at most once.
    for (int32_t d = ds; d >= 0; --d) {
      const int32_t here = table[static_cast<std::size_t>(d)];
      if (here >= kUnreachable) continue;
      int32_t& reached = table[static_cast<std::size_t>(std::min(d + gain, ds))];
      if (here + cost < reached) reached = here + cost;
    }
  }
  const int32_t best = table[static_cast<std::size_t>(ds)];
  return best >= kUnreachable ? 0.0 : static_cast<double>(best);
}

double clearing_cost(int32_t ds, std::span<const LaneSummary> lane_info, int32_t lane_count) {
  if (ds <= 0) return 0.0;
  std::array<ClearChoice, kMaxLanes> choices;
  std::size_t n = 0;
  for (int32_t i = 0; i < lane_count; ++i) {
    const LaneSummary& lane = lane_info[static_cast<std::size_t>(i)];
    if (lane.clearable && lane.clear_gain > 0) choices[n++] = {lane.clear_gain, lane.clear_cost};
  }
  std::vector<int32_t> table(static_cast<std::size_t>(ds) + 1);
  return least_clearing_cost(ds, std::span(choices.data(), n), table);
}

void compose_heuristic(LaneState& state, int32_t lane_count) {
  state.extra = state.ds <= 0
                    ? 0.0
                    : clearing_cost(state.ds, std::span<const LaneSummary>(state.lane_info),
                                    lane_count);
  int32_t blokaj = 0;
  for (int32_t k = 1; k <= kTopLevel; ++k) blokaj += state.demand[static_cast<std::size_t>(k)];
  state.blokaj = blokaj;
  state.h = static_cast<double>(state.blokaj) + state.extra;
  state.f = static_cast<double>(state.g) + state.h;
}

}  // namespace velmora
