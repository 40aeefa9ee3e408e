#pragma once
// The search's vocabulary, shared by both kernels, the workers and the
// driver: how a search ends, the callables that reach the caller, the poll
// intervals, one worker's counters and its view of the shared search.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>

namespace velmora {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

// How a search below one node ended.
enum class SearchStatus { found, stopped, not_found };

// Expanded nodes between two stop polls, and between two progress lines.
inline constexpr int64_t kStopPollInterval = 1000;
inline constexpr int64_t kProgressInterval = 50000;

// The plain C++ callables through which the search reaches its caller. The
// core never sees a Python object: the module binds these to emit_log and
// poll_stop, tests and benchmarks to whatever they like.
using LogSink = std::function<void(std::string_view text)>;
using StopQuery = std::function<bool()>;

// An empty sink swallows the line.
inline void emit(const LogSink& sink, std::string_view text) {
  if (sink) sink(text);
}

// An empty query never asks to stop.
inline bool asks_to_stop(const StopQuery& query) { return query ? query() : false; }

// Monotonic clock in nanoseconds.
inline int64_t monotonic_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

inline double seconds_since(int64_t start_ns) {
  return static_cast<double>(monotonic_ns() - start_ns) / 1e9;
}

// Lowers `next_bound` to f when f is smaller (compare-and-swap loop).
inline void lower_next_bound(std::atomic<double>& next_bound, double f) {
  double current = next_bound.load();
  while (current > f && !next_bound.compare_exchange_weak(current, f)) {
  }
}

// One cache line per worker: the counters are written at every node, and
// neighbours in the driver's vector must not share a line.
struct alignas(64) ThreadCounters {
  int64_t nodes = 0;         // expanded since the run began
  int64_t logged_nodes = 0;  // nodes at the last progress line
  double min_h = kInfinity;  // this iteration
  int64_t children = 0;      // children evaluated by the fast kernel (a benchmark figure)
  int64_t pieces = 0;        // pieces of other workers' subtrees taken over
};

// Everything a kernel needs besides the node: one worker's view of the
// shared search.
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
};

}  // namespace velmora
