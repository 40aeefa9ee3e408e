#include "search/bounded_dfs.h"

#include <deque>
#include <iterator>
#include <limits>
#include <optional>
#include <vector>

#include "board/move.h"
#include "search/successors.h"
#include "search/node_check.h"

namespace velmora {

namespace {

// One level of the descent: a node being expanded, its children in visiting
// order and the next one to try. Frames live on the heap, so the depth is
// bounded by memory rather than by the thread's stack.
struct Frame {
  LaneState state;
  std::vector<Successor> successors;
  size_t next = 0;
  int64_t score = 0;  // inherited score the successors were generated with
};

}  // namespace

// The recursive definition, unrolled: a child found or stopped ends the
// search at once (every level would pass it on unchanged), any other child
// ending pops the child's step and moves on to the next sibling.
SearchStatus bounded_dfs(const LaneState& state, const BoardLayout& layout, SearchContext& ctx,
                         Path& path, int64_t score, bool use_dsg_tiebreak) {
  if (const auto end = examine_node(state.g, state.h, state.blokaj, ctx)) return *end;

  std::deque<Frame> frames;  // deque: growing it keeps references to frames valid
  // Counts the node's children for the stop polls: distinct moves make
  // distinct positions, so the list holds one per legal move.
  const auto open_frame = [&](size_t depth, const LaneState& node, int64_t node_score) {
    if (depth == frames.size()) frames.emplace_back();
    Frame& frame = frames[depth];
    frame.state = node;
    frame.successors = generate_successors(frame.state, layout, node_score, use_dsg_tiebreak);
    ctx.counters.unpolled_children += std::ssize(frame.successors);
    sort_successors(frame.successors, use_dsg_tiebreak);
    frame.next = 0;
    frame.score = node_score;
  };
  open_frame(0, state, score);
  size_t depth = 0;
  for (;;) {
    Frame& frame = frames[depth];
    if (ctx.found.load() || frame.next == frame.successors.size()) {
      if (depth == 0) return SearchStatus::not_found;
      --depth;
      path.pop_back();
      continue;
    }
    if (ctx.stop.load()) return SearchStatus::stopped;

    const Successor successor = frame.successors[frame.next++];
    const std::optional<LaneState> child =
        apply_move(frame.state, layout, successor.src, successor.dst);
    if (!child) continue;
    path.push_back(make_path_step(frame.state, *child, layout, successor.src, successor.dst));
    if (const auto end = examine_node(child->g, child->h, child->blokaj, ctx)) {
      if (*end != SearchStatus::not_found) return *end;
      path.pop_back();
      continue;
    }
    open_frame(depth + 1, *child, successor.score);
    ++depth;
  }
}

}  // namespace velmora
