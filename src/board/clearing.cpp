#include "board/clearing.h"

#include <algorithm>

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

}  // namespace velmora
