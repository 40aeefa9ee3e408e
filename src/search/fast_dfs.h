#pragma once
// The fast search kernel: the same visiting order, counts and results as
// bounded_dfs, on one mutable board per worker. Children are judged from the
// two lanes a move touches without being built, and most of them (those
// above the bound whose f cannot lower next_bound) without being evaluated
// at all; a descent makes the move in place and undoes it on the way back,
// and every buffer is reused, so an expanded node allocates nothing once the
// buffers have grown.

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "board/position.h"
#include "search/types.h"
#include "search/work.h"

namespace velmora {

// Whether the hash of a kept child (one of `hashes`, every child's) is also
// another child's. With many kept children it answers whether any two hashes
// are equal, which may say yes for a pair above the bound: the caller then
// takes the long way, which is exact whatever the hashes. `scratch` is reused.
inline constexpr std::size_t kScanKept = 8;
bool kept_hash_repeats(std::span<const uint64_t> hashes, std::span<const uint64_t> kept,
                       std::vector<uint64_t>& scratch);

// How the kernel finds children of one node that share a hash, which must
// be merged (distinct moves never make the same position: only a 64-bit
// collision gets there).
enum class HashCheck {
  proven_distinct,  // move_keys_distinct holds for the board: never
  per_node,         // at every node with children within the bound
  merge_always,     // every node expanded the long way (a test kernel)
};

// On cache lines of its own, like every per-worker record written at every node.
class alignas(64) FastSearch {
 public:
  // One worker's kernel for a whole run, bound to its view of the search.
  FastSearch(const BoardLayout& layout, const SearchContext& ctx, bool use_dsg_tiebreak,
             HashCheck hash_check);

  // A new iteration: this worker has offered nothing to next_bound yet.
  void begin_iteration() { offered_ = kInfinity; }

  // bounded_dfs below `state`: `path` holds the moves from the start state
  // to `state` and, when found, on to the goal; `score` is the inherited
  // tie-break score.
  SearchStatus run(const LaneState& state, Path& path, int64_t score);

  // Lets this kernel hand pieces of its subtree to idle workers through
  // `queue`, and take them from others: `start` is the state every piece's
  // path begins at. Only with more than one worker.
  void share_work(WorkQueue& queue, const LaneState& start) {
    pool_ = &queue;
    start_ = &start;
  }
  // Visits a piece's children exactly as the worker that gave it would
  // have; `path` holds the piece's path and, when found, goes on to the goal.
  SearchStatus run_piece(const std::vector<PieceChild>& children, Path& path);
  // A benchmark's measure of whole iterations: a goal is a leaf like a node
  // without children, so an iteration is searched to its end.
  void treat_goals_as_leaves() { goals_are_leaves_ = true; }

 private:
  // A child within the bound, as the descent keeps it: the move and its
  // sort key, 8 bytes. Siblings share g, so h orders them as f does; the
  // rest of the child's evaluation is made again when it is visited, and
  // its tie-break score (with the tie-break) waits in scores_.
  struct Child {
    int32_t h;       // whole, like every h
    uint16_t order;  // generation order among its siblings: full ties keep it
    uint8_t src;
    uint8_t dst;
  };
  static_assert(sizeof(Child) == 8);
  static_assert(kMaxLanes <= 256 && kMaxLanes * (kMaxLanes - 1) <= 65536);
  // The keys the visiting order and the merge rule read, for children of g.
  struct Keys {
    double f;
    double h;
    int64_t score;
    int32_t g;
  };
  static Keys keys_of(const Child& child, int32_t g, int64_t score) {
    const auto h = static_cast<double>(child.h);
    return {static_cast<double>(g) + h, h, score, g};
  }
  struct Frame {
    uint32_t begin;
    uint32_t end;
    uint32_t next;
  };
  // Where a node's expansion starts: its place in the arena, and the
  // parent's deficits for the tie-break score.
  struct NodeStart {
    uint32_t begin;
    LevelCounts parent_diff;
  };
  struct Seen {
    uint64_t hash;
    uint32_t stamp;
    uint32_t index;
  };

  // Appends the node's distinct children within the bound to the arena in
  // visiting order, and offers the least f above it to next_bound.
  void expand(int64_t parent_score, double bound);
  // expand without the shortcuts: every child evaluated, children with equal
  // hashes merged. Only needed when two children of a node share a hash.
  void expand_merging(int64_t parent_score, double bound);
  // Appends an evaluated child to the node whose children start at `begin`.
  void add_child(uint32_t begin, const ChildEval& child, int32_t src, int32_t dst, int64_t score);
  // The tie-break score of a child of the node whose children start at `begin`.
  int64_t score_at(uint32_t begin, const Child& child) const {
    return use_dsg_tiebreak_ ? scores_[begin + child.order] : 0;
  }
  // Drops the children from `begin` on.
  void truncate(uint32_t begin) {
    arena_.resize(begin);
    if (use_dsg_tiebreak_) scores_.resize(begin);
  }
  // A kept child's evaluation again, on the way down: the counts are cheap,
  // and the record's h stands for the clearing cost, the dear part.
  void reevaluate(const Child& next, ChildEval& child) const;
  // Sorts the children from `begin` on into visiting order and opens their frame.
  void open_frame(uint32_t begin);
  // Offers f to next_bound; offers not below this worker's last one cannot
  // lower the iteration's minimum and are dropped.
  void offer(double f);
  // Marks `hash` as a child of the current node; false (and `held` pointing
  // at the index stored with it) when it was one already.
  bool remember(uint64_t hash, uint32_t index, uint32_t*& held);
  void new_stamp();
  // Opens a node's expansion: where its children go.
  NodeStart start_node();
  // A child's tie-break score (0 without the tie-break).
  int64_t score_of(const NodeStart& node, const ChildEval& child, int64_t parent_score) const;
  // The frame loop of run: visits the open frames to their end.
  SearchStatus descend(Path& path, double bound);
  // Gives the unvisited children of the shallowest node that has any to the
  // queue, the largest piece this stack holds.
  void give_piece(const Path& path);

  SearchContext ctx_;
  const bool use_dsg_tiebreak_;
  const HashCheck hash_check_;
  std::unique_ptr<Position> pos_;
  ChildEval child_;  // scratch for one child's evaluation
  // The children within the bound of every node on the path, a frame each,
  // and (with the tie-break) their scores, in generation order per frame.
  std::vector<Child> arena_;
  std::vector<int64_t> scores_;
  std::vector<Frame> frames_;
  std::vector<uint64_t> hashes_;  // every child's hash, at nodes with children within the bound
  std::vector<uint64_t> kept_;     // the hashes of the children within the bound
  std::vector<uint64_t> sorted_;   // scratch of kept_hash_repeats
  std::vector<Seen> seen_;  // per-node dedupe by hash; entries of old stamps are free
  uint32_t stamp_ = 0;
  double offered_ = kInfinity;  // the least f this worker offered in this iteration
  WorkQueue* pool_ = nullptr;    // set when work is shared
  const LaneState* start_ = nullptr;
  bool goals_are_leaves_ = false;
};

}  // namespace velmora
