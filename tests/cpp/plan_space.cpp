#include "plan_space.h"

#include "plan/lower_bound.h"
#include "plan/plan_board.h"

namespace velmora {
namespace {

SmallCase make_case(const Lanes& lanes, bool tight, const Space& space) {
  const BoardLayout layout = build_layout(lanes);
  SmallCase c{lanes, tight, space.distance[0], static_cast<int64_t>(space.positions.size()), 0, 0, {}};
  BoardLayout here = layout;
  for (std::size_t p = 0; p < space.positions.size(); ++p) {
    decode(space.positions[p], space.cells, here.start_grid.data());
    const PlanBoard board(here);
    const int32_t bound = lower_bound(board);
    const int32_t distance = space.distance[p];
    c.raised += bound > board.misplaced();
    c.raised_more += bound > board.misplaced() + 1;
    const bool wrong = bound > distance || board.sorted() != (distance == 0) ||
                       (bound == 0) != (distance == 0) || bound != lower_bound_by_lanes(board);
    if (wrong && !c.violation) {
      c.violation = "position " + std::to_string(p) + ": bound " + std::to_string(bound) +
                    " (lane by lane " + std::to_string(lower_bound_by_lanes(board)) +
                    "), distance " + std::to_string(distance);
    }
  }
  return c;
}

std::vector<SmallCase> make_cases(std::size_t count, unsigned seed, int big_pct) {
  std::vector<SmallCase> out;
  std::mt19937 rng(seed);
  while (out.size() < count) {
    const bool tight = out.size() % 2 == 0;
    const Lanes lanes = small_board(rng, tight, big_pct);
    const std::optional<Space> space = explore(build_layout(lanes), 30'000);
    if (space) out.push_back(make_case(lanes, tight, *space));
  }
  return out;
}

}  // namespace

const std::vector<SmallCase>& small_cases() {
  static const std::vector<SmallCase> cases = make_cases(320, 20, 4);
  return cases;
}

const std::vector<SmallCase>& big_item_cases() {
  static const std::vector<SmallCase> cases = make_cases(100, 21, 33);
  return cases;
}

}  // namespace velmora
