#pragma once
// Successor generation: every legal child of a node, one per distinct
// position, with the values the search sorts by.

#include <cstdint>
#include <vector>

#include "board/lane_state.h"

namespace velmora {

struct Successor {
  int32_t src;
  int32_t dst;
  double f;
  double h;
  int64_t score;  // tie-break key, lower is better; 0 without the tie-break
  int32_t g;
};

// The two rules of a node's children, for any record with their values (the
// successor list, and the fast kernel's own records).

// Whether a child reaching the position of the `held` entry takes the entry
// over: lower f, or equal f and lower score; full ties keep the first.
template <class Child>
bool takes_over(const Child& held, const Child& candidate) {
  return held.f > candidate.f || (held.f == candidate.f && candidate.score < held.score);
}

// The visiting order: f ascending; with the tie-break then h, score
// ascending and g descending. Children equal on all keys are not ordered.
template <class Child>
bool visits_before(const Child& a, const Child& b, bool use_dsg_tiebreak) {
  if (a.f != b.f) return a.f < b.f;
  if (!use_dsg_tiebreak) return false;
  if (a.h != b.h) return a.h < b.h;
  if (a.score != b.score) return a.score < b.score;
  return a.g > b.g;
}

// Tie-break score of a child from the deficits of parent and child.
int64_t successor_score(const LevelCounts& parent_diff, const LevelCounts& child_diff,
                        double parent_h, double child_h, int64_t parent_score);

// Children in the order each position was first generated (source lane
// ascending, then destination lane); a later move reaching the same hash
// with lower f, or equal f and lower score, takes over the entry in place.
std::vector<Successor> generate_successors(const LaneState& parent, const BoardLayout& layout,
                                           int64_t parent_score, bool use_dsg_tiebreak);

// The search's visiting order: f ascending; with the tie-break then h, score
// ascending and g descending. Stable, so full ties keep generation order.
void sort_successors(std::vector<Successor>& successors, bool use_dsg_tiebreak);

}  // namespace velmora
