#pragma once
// Records of the search: one move of a path, and one worker's counters.

#include <cstdint>
#include <limits>
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

// One cache line per worker: the counters are written at every node, and
// neighbours in the driver's vector must not share a line.
struct alignas(64) ThreadCounters {
  int64_t nodes = 0;         // expanded since the run began
  int64_t logged_nodes = 0;  // nodes at the last progress line
  double min_h = std::numeric_limits<double>::infinity();  // this iteration
  int64_t children = 0;      // children evaluated by the fast kernel (a benchmark figure)
  int64_t unpolled_children = 0;  // children of the nodes expanded since the last stop poll
  int64_t pieces = 0;        // pieces of other workers' subtrees taken over
};

// The step that took `parent` to `child` by moving src -> dst.
PathStep make_path_step(const LaneState& parent, const LaneState& child,
                        const BoardLayout& layout, int32_t src, int32_t dst);
// The same step from the fast board's evaluation of the child.
PathStep make_path_step(const ChildEval& child, int32_t src, int32_t dst);

}  // namespace velmora
