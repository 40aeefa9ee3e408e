#pragma once
// The enumeration of one run, paced so that it costs the search little: one
// slice before the first iteration settles small boards (a few thousand
// positions); after that it runs on the driver's thread while the workers
// search, in slices of at most kReachSliceNs and with at most kReachShare of
// the time they have searched. It never calls a hook, and it is freed as
// soon as it has its verdict.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "search/interrupt_poll.h"
#include "search/reachability.h"

namespace velmora {

inline constexpr int64_t kReachFirstWork = int64_t{3} << 16;  // 65,536 moves on a board of 64-bit positions
inline constexpr int64_t kReachSliceNs = 2'500'000;
inline constexpr int64_t kReachMinSliceNs = 250'000;
inline constexpr double kReachShare = 0.10;
inline constexpr std::chrono::milliseconds kReachPeriod{10};

class ReachPacer {
 public:
  // memory_cap 0: no enumeration, the search alone.
  ReachPacer(const BoardLayout& layout, std::size_t memory_cap);

  bool open() const { return reach_ && reach_->verdict() == ReachVerdict::open; }
  bool proves_no_solution() const {
    return reach_ && reach_->verdict() == ReachVerdict::no_solution;
  }
  ReachReport report() const { return reach_ ? reach_->report() : ReachReport{}; }

  // Before the first iteration; false when the interruption hook asked to stop.
  bool first_slice(InterruptPoll& interrupt);

  // While the workers search, `searching_ns` into the iteration: a slice of
  // what their search time affords, cut short when `done` says they ended.
  void beside(int64_t searching_ns, const std::function<bool()>& done);

  // The workers' wall time of an iteration that ended.
  void searched(int64_t ns) { searched_ns_ += ns; }

 private:
  std::unique_ptr<Reachability> reach_;
  int64_t searched_ns_ = 0;  // workers' wall time over the finished iterations
  int64_t spent_ns_ = 0;     // enumeration beside them
};

}  // namespace velmora
