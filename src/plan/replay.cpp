#include "plan/replay.h"

#include <memory>
#include <utility>

#include "board/lane_state.h"
#include "plan/lower_bound.h"
#include "plan/plan_board.h"

namespace velmora {

std::optional<Path> replay(const BoardLayout& layout, std::span<const Move> plan) {
  // Two states of 7.7 KB each: off the caller's stack.
  auto states = std::make_unique<std::pair<LaneState, LaneState>>();
  LaneState* parent = &states->first;
  LaneState* child = &states->second;
  *parent = evaluate_start(layout);
  PlanBoard bound_board(layout);  // only for the lower bound of each step
  Path path;
  path.reserve(plan.size());
  for (const Move m : plan) {
    if (m.src < 0 || m.dst < 0 || m.src >= layout.lane_count || m.dst >= layout.lane_count ||
        m.src == m.dst || !apply_move_into(*parent, layout, m.src, m.dst, *child)) {
      return std::nullopt;
    }
    PathStep step = make_path_step(*parent, *child, layout, m.src, m.dst);
    bound_board.do_move(m.src, m.dst);
    step.h = lower_bound(bound_board);
    step.f = step.g + step.h;
    path.push_back(step);
    std::swap(parent, child);
  }
  if (parent->blokaj != 0) return std::nullopt;
  return path;
}

std::vector<Move> moves_of(const Path& path) {
  std::vector<Move> moves;
  moves.reserve(path.size());
  for (const PathStep& s : path) moves.push_back({s.src_lane, s.dst_lane});
  return moves;
}

}  // namespace velmora
