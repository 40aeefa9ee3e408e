#pragma once
// One round of beams side by side: the first on the calling thread, each
// other one on a thread of its own. Only the calling thread asks `stop`
// (it may reach Python); the other beams read a flag it sets, and every
// thread is joined before the round returns, on every path.

#include <functional>
#include <span>
#include <vector>

#include "board/layout.h"
#include "plan/beam_plan.h"

namespace velmora {

// One outcome per entry of `beams`, in their order. `stop` is asked every
// few milliseconds while any beam runs; true stops them all.
std::vector<BeamOutcome> run_beams(const BoardLayout& layout, std::span<const BeamOptions> beams,
                                   const std::function<bool()>& stop);

}  // namespace velmora
