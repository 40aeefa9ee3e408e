#include "board/measures.h"

namespace velmora {

LevelCounts deficits(const LevelCounts& demand, const LevelCounts& supply) {
  LevelCounts diff{};
  int32_t demand_above = 0;
  int32_t supply_above = 0;
  for (int32_t k = kTopLevel; k >= 1; --k) {
    const auto i = static_cast<std::size_t>(k);
    demand_above += demand[i];
    supply_above += supply[i];
    diff[i] = demand_above - supply_above;
  }
  return diff;
}

}  // namespace velmora
