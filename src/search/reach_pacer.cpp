#include "search/reach_pacer.h"

#include <algorithm>
#include <limits>

namespace velmora {

ReachPacer::ReachPacer(const BoardLayout& layout, std::size_t memory_cap) {
  if (memory_cap > 0) reach_ = std::make_unique<Reachability>(layout, memory_cap);
}

bool ReachPacer::first_slice(InterruptPoll& interrupt) {
  bool interrupted = false;
  if (open()) {
    reach_->advance(kReachFirstWork, [&] { return interrupted = interrupt.ask_if_due(); });
  }
  return !interrupted;
}

void ReachPacer::beside(int64_t searching_ns, const std::function<bool()>& done) {
  const auto afford =
      static_cast<int64_t>(kReachShare * static_cast<double>(searched_ns_ + searching_ns)) -
      spent_ns_;
  if (!open() || afford < kReachMinSliceNs) return;
  const int64_t limit = std::min(afford, kReachSliceNs);
  const int64_t began = monotonic_ns();
  reach_->advance(std::numeric_limits<int64_t>::max(),
                  [&] { return monotonic_ns() - began >= limit || done(); });
  spent_ns_ += monotonic_ns() - began;
}

}  // namespace velmora
