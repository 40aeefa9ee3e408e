#include "plan_space.h"

#include "plan/lower_bound.h"
#include "plan/plan_board.h"

namespace velmora {
namespace {

SmallCase make_case(const Lanes& lanes, bool tight, const Space& space) {
  const BoardLayout layout = build_layout(lanes);
  SmallCase c{lanes, tight, space.distance[0], static_cast<int64_t>(space.positions.size()), 0, {}};
  BoardLayout here = layout;
  for (std::size_t p = 0; p < space.positions.size(); ++p) {
    decode(space.positions[p], space.cells, here.start_grid.data());
    const PlanBoard board(here);
    const int32_t bound = lower_bound(board);
    const int32_t distance = space.distance[p];
    c.raised += bound > board.misplaced();
    const bool wrong = bound > distance || board.sorted() != (distance == 0) ||
                       (bound == 0) != (distance == 0);
    if (wrong && !c.violation) {
      c.violation = "position " + std::to_string(p) + ": bound " + std::to_string(bound) +
                    ", distance " + std::to_string(distance);
    }
  }
  return c;
}

}  // namespace

const std::vector<SmallCase>& small_cases() {
  static const std::vector<SmallCase> cases = [] {
    std::vector<SmallCase> out;
    std::mt19937 rng(20);
    while (out.size() < 320) {
      const bool tight = out.size() % 2 == 0;
      const Lanes lanes = small_board(rng, tight);
      const std::optional<Space> space = explore(build_layout(lanes), 30'000);
      if (space) out.push_back(make_case(lanes, tight, *space));
    }
    return out;
  }();
  return cases;
}

}  // namespace velmora
