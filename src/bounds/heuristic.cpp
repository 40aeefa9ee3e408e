#include "bounds/heuristic.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace velmora {
namespace {

constexpr int32_t kUnreachable = 1'000'000'000;

}  // namespace

double clearing_cost(int32_t ds, std::span<const LaneSummary> lane_info, int32_t lane_count) {
  if (ds <= 0) return 0.0;
  // least[d]: least total clear_cost reaching exactly d slots of room, with
  // anything beyond ds counted as ds.
  std::vector<int32_t> least(static_cast<std::size_t>(ds) + 1, kUnreachable);
  least[0] = 0;
  int32_t total_gain = 0;
  for (int32_t i = 0; i < lane_count; ++i) {
    const LaneSummary& lane = lane_info[static_cast<std::size_t>(i)];
    if (!lane.clearable) continue;
    const int32_t w = lane.clear_gain;
    const int32_t c = lane.clear_cost;
    if (w <= 0) continue;
    total_gain += w;
    // Downwards, so that each lane is taken at most once.
    for (int32_t d = ds; d >= 0; --d) {
      const int32_t here = least[static_cast<std::size_t>(d)];
      if (here >= kUnreachable) continue;
      const auto t = static_cast<std::size_t>(std::min(d + w, ds));
      if (here + c < least[t]) least[t] = here + c;
    }
  }
  if (total_gain < ds) return 0.0;
  const int32_t best = least[static_cast<std::size_t>(ds)];
  return best >= kUnreachable ? 0.0 : static_cast<double>(best);
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
