#pragma once
// What happens to a node before its children, shared by both search
// kernels: found/stop checks, the bound test, the goal test, node counting,
// stop polls and progress lines.

#include <atomic>
#include <cstdint>
#include <optional>

#include "search/types.h"

namespace velmora {

void log_progress(const SearchContext& ctx, double bound);

// How the search below the node ends when it ends at the node (not_found:
// another worker found the goal, or the node lies beyond the bound and its
// f was offered to next_bound); nullopt when the node is to be expanded.
inline std::optional<SearchStatus> examine_node(int32_t g, double h, int32_t blokaj,
                                                SearchContext& ctx) {
  if (ctx.found.load(std::memory_order_relaxed)) return SearchStatus::not_found;
  if (ctx.stop.load(std::memory_order_relaxed)) return SearchStatus::stopped;

  // g + h rather than the cached f, so the test sees exactly what it bounds.
  const double f = static_cast<double>(g) + h;
  const double bound = ctx.bound.load(std::memory_order_relaxed);
  if (f > bound) {
    lower_next_bound(ctx.next_bound, f);
    return SearchStatus::not_found;
  }
  if (blokaj == 0) return SearchStatus::found;

  ThreadCounters& counters = ctx.counters;
  ++counters.nodes;
  if (counters.min_h > h) counters.min_h = h;
  if (counters.nodes % kStopPollInterval == 0 && asks_to_stop(ctx.stop_query)) {
    ctx.stop.store(true);
    return SearchStatus::stopped;
  }
  if (counters.nodes - counters.logged_nodes >= kProgressInterval) {
    counters.logged_nodes = counters.nodes;
    log_progress(ctx, bound);
  }
  return std::nullopt;
}

}  // namespace velmora
