#pragma once
// The reference search kernel: one IDA* iteration below one node, the
// bounded depth-first search as defined, on whole states. Kept to check the
// fast kernel against.

#include <cstdint>

#include "board/lane_state.h"
#include "search/path.h"
#include "search/types.h"

namespace velmora {

// Searches below `state` within ctx.bound; on found, `path` holds the moves
// to the goal. Iterative, so the depth is limited by memory, not by the
// thread's stack. `score` is the inherited tie-break score.
SearchStatus bounded_dfs(const LaneState& state, const BoardLayout& layout, SearchContext& ctx,
                         Path& path, int64_t score, bool use_dsg_tiebreak);

}  // namespace velmora
