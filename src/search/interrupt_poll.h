#pragma once
// The driver's poll of the interruption hook (e.g. a pending Ctrl-C).

#include <chrono>
#include <cstdint>

#include "search/types.h"

namespace velmora {

inline constexpr std::chrono::milliseconds kInterruptPeriod{50};

// Asks the interruption hook, at most once per period at iteration
// boundaries, and after every timed wait while workers run.
class InterruptPoll {
 public:
  explicit InterruptPoll(const StopQuery& query) : query_(query), last_ns_(monotonic_ns()) {}

  bool enabled() const { return static_cast<bool>(query_); }

  bool ask() {
    last_ns_ = monotonic_ns();
    return asks_to_stop(query_);
  }

  bool ask_if_due() {
    const int64_t period_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(kInterruptPeriod).count();
    return enabled() && monotonic_ns() - last_ns_ >= period_ns && ask();
  }

 private:
  const StopQuery& query_;
  int64_t last_ns_;
};

}  // namespace velmora
