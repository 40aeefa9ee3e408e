#pragma once
// One move of a path, and the path itself.

#include <cstdint>
#include <vector>

#include "board/lane_state.h"
#include "board/position.h"

namespace velmora {

struct PathStep {
  int32_t src_lane;
  int32_t src_slot;  // front slot of the source lane in the parent
  int32_t dst_lane;
  int32_t dst_slot;  // front slot of the destination lane in the child
  int32_t item;      // the child's cell at dst_slot, 0 when dst_slot is -1
  int32_t g;
  double h;
  double f;
  double aux;  // always 0.0

  bool operator==(const PathStep&) const = default;
};

using Path = std::vector<PathStep>;

// The step that took `parent` to `child` by moving src -> dst.
PathStep make_path_step(const LaneState& parent, const LaneState& child,
                        const BoardLayout& layout, int32_t src, int32_t dst);
// The same step from the fast board's evaluation of the child.
PathStep make_path_step(const ChildEval& child, int32_t src, int32_t dst);

}  // namespace velmora
