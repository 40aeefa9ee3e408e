#include "plan/lower_bound.h"

#include <algorithm>

namespace velmora {

int32_t lower_bound(const PlanBoard& board) {
  const int32_t misplaced = board.misplaced();
  if (misplaced == 0) return 0;
  int32_t least = kAnyItem;  // the least item of M
  int32_t accepted = -1;     // the greatest item some lane accepts
  for (int32_t i = 0; i < board.lane_count(); ++i) {
    const PlanLane& lane = board.lane(i);
    least = std::min(least, lane.least_misplaced);
    accepted = std::max(accepted, lane.base_accepts);
  }
  return least <= accepted ? misplaced : misplaced + 1;
}

}  // namespace velmora
