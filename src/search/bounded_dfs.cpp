#include "search/bounded_dfs.h"

#include <chrono>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

#include "board/move.h"
#include "bounds/successors.h"

namespace velmora {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Everything a node examination needs besides the node itself.
struct SearchContext {
  const BoardLayout& layout;
  const std::atomic<double>& bound;
  std::atomic<double>& next_bound;
  const std::atomic<bool>& found;
  std::atomic<bool>& stop;
  int32_t iteration;
  Path& path;
  ThreadCounters& counters;
  bool use_dsg_tiebreak;
  int64_t start_time;
  const LogSink& log_sink;
  const StopQuery& stop_query;
};

// One level of the descent: a node being expanded, its children in visiting
// order and the next one to try. Frames live on the heap, so the depth is
// bounded by memory rather than by the thread's stack.
struct Frame {
  LaneState state;
  std::vector<Successor> successors;
  size_t next = 0;
  int64_t score = 0;  // inherited score the successors were generated with
};

void log_progress(const SearchContext& ctx, double bound) {
  const double elapsed = static_cast<double>(monotonic_ns() - ctx.start_time) / 1e9;
  emit(ctx.log_sink,
       format_line("[IDA*] iter=%d | thread_nodes=%lld | esik=%f | min_h=%f | sure=%fs\n",
                   ctx.iteration, static_cast<long long>(ctx.counters.nodes), bound,
                   ctx.counters.min_h, elapsed));
}

// Everything that happens to a node before its children: the result when the
// node ends here, nullopt when it is to be expanded.
std::optional<double> examine(const LaneState& state, SearchContext& ctx) {
  if (ctx.found.load()) return kInfinity;
  if (ctx.stop.load()) return STOPPED;

  // g + h rather than the cached f, so the test sees exactly what it bounds.
  const double f = static_cast<double>(state.g) + state.h;
  const double bound = ctx.bound.load();
  if (f > bound) {
    lower_next_bound(ctx.next_bound, f);
    return f;
  }
  if (state.blokaj == 0) return FOUND;

  ThreadCounters& counters = ctx.counters;
  ++counters.nodes;
  if (counters.min_h > state.h) counters.min_h = state.h;

  if (counters.nodes % kStopPollInterval == 0 && asks_to_stop(ctx.stop_query)) {
    ctx.stop.store(true);
    return STOPPED;
  }
  if (counters.nodes - counters.logged_nodes >= kProgressInterval) {
    counters.logged_nodes = counters.nodes;
    log_progress(ctx, bound);
  }
  return std::nullopt;
}

void open_frame(std::deque<Frame>& frames, size_t depth, const LaneState& state, int64_t score,
                const SearchContext& ctx) {
  if (depth == frames.size()) frames.emplace_back();
  Frame& frame = frames[depth];
  frame.state = state;
  frame.successors = generate_successors(frame.state, ctx.layout, score, ctx.use_dsg_tiebreak);
  sort_successors(frame.successors, ctx.use_dsg_tiebreak);
  frame.next = 0;
  frame.score = score;
}

}  // namespace

void lower_next_bound(std::atomic<double>& next_bound, double f) {
  double current = next_bound.load();
  while (current > f && !next_bound.compare_exchange_weak(current, f)) {
  }
}

int64_t monotonic_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The recursive definition, unrolled: a child's FOUND or STOPPED goes
// straight to the top (every level would pass it on unchanged), any other
// child result pops the child's step and moves on to the next sibling, and
// a frame that ends on its own hands +inf (or STOPPED) to its parent.
double bounded_dfs(const LaneState& state, const BoardLayout& layout,
                   const std::atomic<double>& bound, std::atomic<double>& next_bound,
                   const std::atomic<bool>& found, std::atomic<bool>& stop, int32_t iteration,
                   Path& path, ThreadCounters& counters, int64_t score, bool use_dsg_tiebreak,
                   int64_t start_time, const LogSink& log_sink, const StopQuery& stop_query) {
  SearchContext ctx{layout,   bound,           next_bound, found,    stop,
                    iteration, path,           counters,   use_dsg_tiebreak,
                    start_time, log_sink,      stop_query};
  if (const auto end = examine(state, ctx)) return *end;

  std::deque<Frame> frames;  // deque: growing it keeps references to frames valid
  open_frame(frames, 0, state, score, ctx);
  size_t depth = 0;
  for (;;) {
    Frame& frame = frames[depth];
    if (found.load() || frame.next == frame.successors.size()) {
      if (depth == 0) return kInfinity;
      --depth;
      path.pop_back();
      continue;
    }
    if (stop.load()) return STOPPED;

    const Successor successor = frame.successors[frame.next++];
    const std::optional<LaneState> child =
        apply_move(frame.state, layout, successor.src, successor.dst);
    if (!child) continue;
    path.push_back(make_path_step(frame.state, *child, layout, successor.src, successor.dst));
    if (const auto end = examine(*child, ctx)) {
      if (*end == FOUND || *end == STOPPED) return *end;
      path.pop_back();
      continue;
    }
    open_frame(frames, depth + 1, *child, successor.score, ctx);
    ++depth;
  }
}

}  // namespace velmora
