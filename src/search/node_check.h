#pragma once
// What happens to a node before its children, shared by both search
// kernels: found/stop checks, the bound test, the goal test, node counting,
// stop polls and progress lines.

#include <atomic>
#include <cstdint>
#include <optional>

#include "search/bounded_dfs.h"

namespace velmora {

// Everything a node examination needs besides the node itself: one worker's
// view of the shared search.
struct SearchContext {
  const std::atomic<double>& bound;
  std::atomic<double>& next_bound;
  const std::atomic<bool>& found;
  std::atomic<bool>& stop;
  const int32_t& iteration;
  ThreadCounters& counters;
  int64_t start_time;
  const LogSink& log_sink;
  const StopQuery& stop_query;
  int64_t poll_children;  // stop_poll_children of the board
};

void log_progress(const SearchContext& ctx, double bound);

// The result when the node ends here, nullopt when it is to be expanded.
inline std::optional<double> examine_node(int32_t g, double h, int32_t blokaj,
                                          SearchContext& ctx) {
  if (ctx.found.load(std::memory_order_relaxed)) return kInfinity;
  if (ctx.stop.load(std::memory_order_relaxed)) return STOPPED;

  // g + h rather than the cached f, so the test sees exactly what it bounds.
  const double f = static_cast<double>(g) + h;
  const double bound = ctx.bound.load(std::memory_order_relaxed);
  if (f > bound) {
    lower_next_bound(ctx.next_bound, f);
    return f;
  }
  if (blokaj == 0) return FOUND;

  ThreadCounters& counters = ctx.counters;
  ++counters.nodes;
  if (counters.min_h > h) counters.min_h = h;
  if (counters.nodes % kStopPollInterval == 0 || counters.unpolled_children >= ctx.poll_children) {
    counters.unpolled_children = 0;
    if (asks_to_stop(ctx.stop_query)) {
      ctx.stop.store(true);
      return STOPPED;
    }
  }
  if (counters.nodes - counters.logged_nodes >= kProgressInterval) {
    counters.logged_nodes = counters.nodes;
    log_progress(ctx, bound);
  }
  return std::nullopt;
}

}  // namespace velmora
