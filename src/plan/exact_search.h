#pragma once
// The exact search of one worker: a depth-first search for a plan of at
// most `bound` moves, cut where moves made plus the lower bound exceed the
// bound (iterative deepening on the admissible bound of lower_bound.h).
//
// Pruning rules, each of which keeps at least one shortest plan. Take, of
// all shortest plans, the least in the order of their move sequences (by
// source lane, then destination lane, move by move); we show the search
// never cuts it.
// - return: an item moved from a to b and later straight back from b to a,
//   neither lane used in between, and landing in the slot it left. Both
//   moves can be dropped, so no shortest plan does this.
// - relay: an item moved from a to b and later on from b to c (c not a),
//   none of a, b, c used in between. One move a -> c in place of the first
//   ends in the same position, one move shorter: no shortest plan does this.
// - one order (off by default): two consecutive moves on four distinct
//   lanes commute; only the order whose first move has the smaller source
//   lane is tried. Swapping them in a plan gives a plan of the same length
//   that is smaller in the order above, so the least shortest plan keeps
//   this rule.
// - first empty: of empty lanes of one length, a move goes only to the
//   first. Exchanging the names of two such lanes in the rest of a plan
//   gives a plan of the same length (the board before the move is the same
//   under the exchange), smaller in the order above.
// - table: a position reached at a depth greater than the least depth it
//   was reached at before (position_table.h). Every position on a shortest
//   plan is reached first at its least depth, so it is never dropped.
// The bound never cuts a plan of at most `bound` moves either, so the least
// shortest plan is followed to its end whenever it fits the bound.
//
// Without the one-order rule the table also drops a position reached again
// at the same depth in the same round (bound): the two orders of commuting
// moves, and every other pair of paths of one length to one position, are
// then searched once. Let the bound be the shortest length and X a
// position on a shortest plan, at its least depth d. Return and relay never
// cut a move of a plan of the bound's length (each would make it shorter),
// and first empty leaves a move to an exchanged lane that is as good; so
// from any path to X some shortest completion stays open, and the first
// visit of X at depth d in the round that the table does not drop finds a
// plan, by induction on the moves left. A later visit is dropped only after
// such a first visit, which ended the round. With the one-order rule, which
// reads the path and not only the position, a first visit could miss the
// completion that another path to X keeps open, so the two are not joined.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "board/layout.h"
#include "board/move.h"
#include "plan/plan_board.h"
#include "plan/position_table.h"

namespace velmora {

struct PruneRules {
  bool return_move = true;
  bool relay = true;
  bool one_order = false;  // see above: the table's same-round drop replaces it
  bool first_empty = true;
  bool table = true;
  // Not a rule: the bound's room term (lower_bound.h). Off, the search is
  // bounded by the misplaced items alone and branches far more, which is
  // what tests of the rules want.
  bool room_bound = true;
};

using Plan = std::vector<Move>;

enum class SearchEnd : uint8_t { found, exhausted, stopped };

class ExactSearch {
 public:
  // `stop` is read every few thousand nodes; it may be null.
  ExactSearch(const BoardLayout& layout, const PruneRules& rules, std::size_t table_bytes,
              const std::atomic<bool>* stop);

  // Plays `prefix` from the start, then searches below it for a plan of at
  // most `bound` moves in all. The prefix's moves are legal.
  SearchEnd search(std::span<const Move> prefix, int32_t bound);

  // The nodes below the start, at `depth` moves or sorted earlier, that the
  // search at `bound` would enter, as move sequences, in search order.
  void collect(int32_t bound, int32_t depth, std::vector<Plan>& out);

  const Plan& plan() const { return plan_; }  // the plan found
  // The least number of moves plus bound above `bound` met since the
  // counters were reset; int max when none.
  int32_t next_bound() const { return next_bound_; }
  int64_t nodes() const { return nodes_; }
  void reset_next_bound() { next_bound_ = std::numeric_limits<int32_t>::max(); }
  const PositionTable& table() const { return table_; }

 private:
  struct History {  // what a move changed in the rules' records, to undo
    int32_t src_use, dst_use, dst_arrived, dst_from, dst_slot;
  };
  int32_t bound_of(const PlanBoard& board) const;
  bool allowed(int32_t src, int32_t dst) const;
  void play(int32_t src, int32_t dst, History& h);
  void take_back(int32_t src, int32_t dst, const History& h);
  void rewind();
  bool dfs(int32_t bound);
  void gather(int32_t bound, int32_t depth, std::vector<Plan>& out);
  // Calls f(src, dst) for every move the rules allow, the moves that put a
  // misplaced item where it stays in order first.
  template <class F>
  bool for_each_move(F&& f);

  PlanBoard board_;
  PruneRules rules_;
  PositionTable table_;
  const std::atomic<bool>* stop_;
  Plan moves_;  // the moves made from the start
  Plan plan_;
  int64_t nodes_ = 0;
  bool stopped_ = false;
  int32_t next_bound_ = std::numeric_limits<int32_t>::max();
  // Per lane: the step that last used it, and the step, source lane and
  // source slot of the move that put its front item there.
  std::array<int32_t, kMaxLanes> last_use_{};
  std::array<int32_t, kMaxLanes> arrived_{};
  std::array<int32_t, kMaxLanes> from_{};
  std::array<int32_t, kMaxLanes> from_slot_{};
};

}  // namespace velmora
