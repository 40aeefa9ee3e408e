#include "plan/beam_phase.h"

#include <algorithm>

#include "plan/beam_plan.h"
#include "plan/beam_round.h"

namespace velmora {
namespace {

constexpr int32_t kFirstWidth = 8;
constexpr int32_t kFirstTail = 16;
constexpr int32_t kTailShare = 4;  // tails up to this share of the plan, then the whole
constexpr int32_t kStallRounds = 5;

struct Phase {
  const BoardLayout& layout;
  const BeamPhaseOptions& options;
  const std::function<Plan()>& best;
  const std::function<void(const Plan&)>& offer;
  const std::function<bool()>& over;
  int64_t budget;
  int64_t nodes = 0;

  bool spent() const { return budget == 0; }

  // The beams of one width from the best plan's first moves on, its last
  // `tail` redone; true when they found a shorter plan.
  bool redo_tail(int32_t tail, int32_t width) {
    const Plan plan = best();
    const auto keep = static_cast<std::ptrdiff_t>(plan.size()) - tail;
    std::vector<BeamOptions> beams(static_cast<std::size_t>(std::max(options.beams, 1)));
    for (std::size_t i = 0; i < beams.size(); ++i) {
      beams[i].prefix.assign(plan.begin(), plan.begin() + std::max<std::ptrdiff_t>(keep, 0));
      beams[i].width = width;
      beams[i].shorter_than = static_cast<int32_t>(plan.size());
      beams[i].seed = static_cast<uint32_t>(i);  // the first without jitter
      beams[i].ready_lanes = i % 2 == 1;         // the second ranks ties otherwise
      if (budget >= 0) beams[i].node_budget = budget / static_cast<int64_t>(beams.size());
    }
    bool shorter = false;
    for (const BeamOutcome& o : run_beams(layout, beams, over)) {
      nodes += o.nodes;
      if (budget >= 0) budget = std::max<int64_t>(0, budget - o.nodes);
      if (o.plan && o.plan->size() < plan.size()) {
        offer(*o.plan);
        shorter = true;
      }
    }
    return shorter;
  }

  void run() {
    int32_t stalled = 0;
    for (int32_t width = kFirstWidth; stalled < kStallRounds && !spent() && !over(); width *= 2) {
      const auto levels = static_cast<int32_t>(best().size());
      if (beam_bytes(width, levels) * static_cast<std::size_t>(options.beams) >
          options.memory_bytes) {
        return;
      }
      bool shorter = false;
      for (int32_t tail = kFirstTail; !spent() && !over(); tail *= 2) {
        const auto length = static_cast<int32_t>(best().size());
        const bool whole = tail * kTailShare >= length;
        shorter |= redo_tail(whole ? length : tail, width);
        if (whole) break;
      }
      stalled = shorter ? 0 : stalled + 1;
    }
  }
};

}  // namespace

int64_t shorten_with_beams(const BoardLayout& layout, const BeamPhaseOptions& options,
                           const std::function<Plan()>& best,
                           const std::function<void(const Plan&)>& offer,
                           const std::function<bool()>& over) {
  Phase phase{layout, options, best, offer, over, options.node_budget};
  phase.run();
  return phase.nodes;
}

}  // namespace velmora
