#include <cstring>
#include <memory>
#include <span>

#include "base/open_table.h"
#include "search/reach_walk.h"

namespace velmora {

// Every reachable position is expanded and none is solved. Whether the
// search would end by itself depends on its tree: it never undoes its last
// move, so it is finite exactly when no cycle of the search's states can be
// reached. When every move can be undone, the position graph is undirected,
// any path to a position can be taken without undoing a move, and a cycle
// exists exactly when there are at least as many edges as positions.
void Reachability::Impl::finish_positions() {
  if (!one_way) {
    verdict = edges / 2 >= static_cast<int64_t>(positions.count()) ? ReachVerdict::no_solution
                                                        : ReachVerdict::search_ends;
    release();
    return;
  }
  second_phase = true;
  pending.clear();
  pending.shrink_to_fit();
  if (!charge(kFirstTable * 8)) return give_up();
  states = std::make_unique<uint64_t[]>(kFirstTable);
  states_size = kFirstTable;
  if (!grow(stack) || !add_state(state_key(0, kNoMove))) return give_up();
  stack.push_back(Frame{0, kNoMove, 0});
}

uint64_t* Reachability::Impl::find_state(uint64_t k) {
  const auto is_it = [k](uint64_t e) { return (e >> 2) == k; };
  return &states[probe<uint64_t>(std::span(states.get(), states_size), mix(k), is_free, is_it)];
}

bool Reachability::Impl::add_state(uint64_t k) {
  if ((state_count + 1) * 2 > states_size) {
    const std::size_t new_size = states_size * 2;
    if (!charge(new_size * 8)) return false;
    auto bigger = std::make_unique<uint64_t[]>(new_size);
    rehash<uint64_t>(std::span(states.get(), states_size), std::span(bigger.get(), new_size),
                     is_free, [](uint64_t e) { return mix(e >> 2); });
    states = std::move(bigger);
    refund(states_size * 8);
    states_size = new_size;
  }
  *find_state(k) = (k << 2) | 1;
  ++state_count;
  return true;
}

// One move of the depth-first walk over the search's states (a position and
// the move that made it); meeting a state that is still on the walk is a
// cycle, so the search's tree is endless.
void Reachability::Impl::step_states() {
  if (stack.empty()) {
    verdict = ReachVerdict::search_ends;
    release();
    return;
  }
  Frame& top = stack.back();
  if (decoded != top.index) {
    std::memcpy(key.data(), record(top.index), at(words) * 8);
    decode(key.data());
    analyse();
    decoded = top.index;
    decoded_hash = hash_of_cells();
  }
  const int32_t pairs = lanes * lanes;
  int32_t m = top.next;
  for (; m < pairs; ++m) {
    const int32_t src = m / lanes, dst = m % lanes;
    if (src == dst || front[at(src)] < 0 || target[at(dst)] < 0) continue;
    if (top.last != kNoMove && src == top.last % lanes && dst == top.last / lanes) continue;
    break;
  }
  if (m == pairs) {
    *find_state(state_key(top.index, top.last)) = (state_key(top.index, top.last) << 2) | 2;
    stack.pop_back();
    return;
  }
  top.next = static_cast<uint16_t>(m + 1);
  ++moves;
  const int32_t src = m / lanes, dst = m % lanes;
  const int32_t from = lane_offset[at(src)] + front[at(src)];
  const int32_t to = lane_offset[at(dst)] + target[at(dst)];
  const uint32_t code = code_of(cell[at(from)]);
  std::memcpy(child.data(), key.data(), at(words) * 8);
  set_code(child.data(), from, 0);
  set_code(child.data(), to, code);
  const int64_t next = find(child.data(), decoded_hash ^ cell_key(from, code) ^ cell_key(to, code));
  if (next < 0) return give_up();  // cannot happen: the first phase stored every position
  const uint64_t k = state_key(static_cast<uint32_t>(next), static_cast<uint16_t>(m));
  const uint64_t seen = *find_state(k);
  if (seen != 0) {
    if ((seen & 3) == 1) {
      verdict = ReachVerdict::no_solution;
      release();
    }
    return;
  }
  if (!grow(stack) || !add_state(k)) return give_up();
  stack.push_back(Frame{static_cast<uint32_t>(next), static_cast<uint16_t>(m), 0});
}

}  // namespace velmora
