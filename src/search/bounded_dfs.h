#pragma once
// One IDA* iteration below one node: the bounded depth-first search.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>

#include "board/lane_state.h"
#include "search/hooks.h"
#include "search/path.h"

namespace velmora {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

// How a search below one node ended. bounded_dfs reports it as a real:
// FOUND, STOPPED, or anything else for not found.
enum class SearchStatus { found, stopped, not_found };
inline constexpr double FOUND = -1.0;
inline constexpr double STOPPED = -2.0;

inline SearchStatus status_of(double result) {
  if (result == FOUND) return SearchStatus::found;
  if (result == STOPPED) return SearchStatus::stopped;
  return SearchStatus::not_found;
}

// Expanded nodes between two stop polls, and between two progress lines.
inline constexpr int64_t kStopPollInterval = 1000;
inline constexpr int64_t kProgressInterval = 50000;
// A stop poll also comes once the nodes expanded since the last one have had
// kStopPollWork / lanes^2 children: as many as 1000 nodes of 20 lanes may
// have, fewer the wider the board, whose nodes cost about their children.
// On a wide board, where one node may take milliseconds, the polls then come
// every few milliseconds of work; a node of up to 20 lanes has at most
// 20 x 19 children, so there the 1000th node always comes first.
inline constexpr int64_t kStopPollWork = kStopPollInterval * 20 * 19 * 20 * 20;

// The children of expanded nodes that bring a stop poll on a board of
// `lane_count` lanes.
inline int64_t stop_poll_children(int32_t lane_count) {
  const int64_t square = int64_t{std::max(lane_count, 1)} * std::max(lane_count, 1);
  return (kStopPollWork + square - 1) / square;
}

// Lowers `next_bound` to f when f is smaller (compare-and-swap loop).
void lower_next_bound(std::atomic<double>& next_bound, double f);

// Monotonic clock in nanoseconds.
int64_t monotonic_ns();

// Searches below `state` within `bound`; FOUND (path holds the moves to the
// goal), STOPPED, or anything else for not found. Iterative, so the depth is
// limited by memory, not by the thread's stack.
double bounded_dfs(const LaneState& state, const BoardLayout& layout,
                   const std::atomic<double>& bound, std::atomic<double>& next_bound,
                   const std::atomic<bool>& found, std::atomic<bool>& stop, int32_t iteration,
                   Path& path, ThreadCounters& counters, int64_t score, bool use_dsg_tiebreak,
                   int64_t start_time, const LogSink& log_sink, const StopQuery& stop_query);

}  // namespace velmora
