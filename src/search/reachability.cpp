#include "search/reachability.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <limits>
#include <new>
#include <span>
#include <vector>

#include "base/open_table.h"
#include "board/move.h"
#include "board/zobrist.h"
#include "search/reach_walk.h"

namespace velmora {

Reachability::Impl::Impl(const BoardLayout& layout, std::size_t memory_cap) {
  budget.cap = memory_cap;
  // Sizes first, so that nothing is allocated before it is charged.
  lanes = layout.lane_count;
  std::array<bool, 256> present{};
  int32_t level_items = 0;
  for (int32_t i = 0; i < lanes; ++i) {
    for (int32_t s = 0; s < layout.lane_len[at(i)]; ++s) {
      const uint8_t v = layout.start_grid[at(cell_of(layout, i, s))];
      present[v] = true;
      level_items += is_level(v);
    }
    cells += std::max(layout.lane_len[at(i)], 0);
  }
  positions.shape(present, cells);
  words = positions.words();

  fixed = sizeof(Impl) + at(cells) * 8 + at(lanes) * (4 * 4 + 2 * sizeof(LaneFacts)) + at(words) * 16 +
          at(level_items + 1) * sizeof(std::vector<uint32_t>);
  if (!charge(fixed) || !charge(kFirstTable * 8)) {
    verdict = ReachVerdict::gave_up;
    budget.used = 0;
    return;
  }
  lane_len.assign(at(lanes), 0);
  lane_offset.assign(at(lanes), 0);
  for (int32_t i = 0, offset = 0; i < lanes; ++i) {
    lane_len[at(i)] = std::max(layout.lane_len[at(i)], 0);
    lane_offset[at(i)] = offset;
    offset += lane_len[at(i)];
  }
  positions.lay_out();
  grid_cell.assign(at(cells), 0);
  pending.resize(at(level_items + 1));
  cell.assign(at(cells), 0);
  for (auto* v : {&front, &target}) v->assign(at(lanes), 0);
  facts.resize(at(lanes));
  popped.resize(at(lanes));
  key.assign(at(words), 0);
  child.assign(at(words), 0);
  table = std::make_unique<uint64_t[]>(kFirstTable);
  table_size = kFirstTable;

  for (int32_t i = 0; i < lanes; ++i) {
    for (int32_t s = 0; s < lane_len[at(i)]; ++s) {
      const int32_t c = lane_offset[at(i)] + s;
      grid_cell[at(c)] = cell_of(layout, i, s);
      cell[at(c)] = layout.start_grid[at(grid_cell[at(c)])];
      set_code(key.data(), c, code_of(cell[at(c)]));
    }
  }
  const int32_t start_misplaced = analyse();
  if (start_misplaced == 0) {
    verdict = ReachVerdict::solvable;
    release();
    return;
  }
  bool inserted = false;
  if (find_or_insert(key.data(), hash_of_cells(), inserted) < 0 ||
      !push_pending(0, start_misplaced)) {
    give_up();
  }
}

void Reachability::Impl::release() {
  positions.release();
  table.reset();
  table_size = 0;
  pending.clear();
  pending.shrink_to_fit();
  stack.clear();
  stack.shrink_to_fit();
  states.reset();
  states_size = 0;
  budget.used = 0;
}

int32_t Reachability::Impl::analyse() {
  int32_t total = 0;
  for (int32_t i = 0; i < lanes; ++i) {
    const std::span<const uint8_t> lane(cell.data() + lane_offset[at(i)], at(lane_len[at(i)]));
    front[at(i)] = front_slot(lane);
    target[at(i)] = landing_slot(lane);
    facts[at(i)] = lane_facts(lane, &popped[at(i)]);
    total += facts[at(i)].misplaced_levels;
  }
  return total;
}

bool Reachability::Impl::grow_table() {
  const std::size_t new_size = table_size * 2;
  if (!charge(new_size * 8)) return false;
  auto bigger = std::make_unique<uint64_t[]>(new_size);
  rehash<uint64_t>(std::span(table.get(), table_size), std::span(bigger.get(), new_size), is_free,
                   [](uint64_t e) { return e >> 32; });
  table = std::move(bigger);
  refund(table_size * 8);
  table_size = new_size;
  return true;
}

int64_t Reachability::Impl::find(const uint64_t* k, uint64_t h) {
  const uint64_t tag = h & 0xFFFF'FFFFu;
  // By content: equal hashes prove nothing.
  const auto is_it = [&](uint64_t e) { return (e >> 32) == tag && positions.same(index_of(e), k); };
  const uint64_t e = table[probe<uint64_t>(std::span(table.get(), table_size), h, is_free, is_it)];
  return e == 0 ? -1 : int64_t{index_of(e)};
}

int64_t Reachability::Impl::find_or_insert(const uint64_t* k, uint64_t h, bool& inserted) {
  inserted = false;
  if (const int64_t known = find(k, h); known >= 0) return known;
  const uint32_t index = positions.count();
  if (index >= kMaxPositions) return -1;
  if ((std::size_t{index} + 1) * 2 > table_size && !grow_table()) return -1;
  if (!positions.append(k, budget)) return -1;
  table[free_slot<uint64_t>(std::span(table.get(), table_size), h, is_free)] =
      (h << 32) | (uint64_t{index} + 1);
  inserted = true;
  return index;
}

bool Reachability::Impl::push_pending(uint32_t index, int32_t misplaced_count) {
  std::vector<uint32_t>& bucket = pending[at(misplaced_count)];
  if (!grow(bucket)) return false;
  bucket.push_back(index);
  lowest = std::min(lowest, at(misplaced_count));
  return true;
}

bool Reachability::Impl::take_pending(uint32_t& index) {
  while (lowest < pending.size() && pending[lowest].empty()) ++lowest;
  if (lowest == pending.size()) return false;
  index = pending[lowest].back();
  pending[lowest].pop_back();
  return true;
}

void Reachability::Impl::begin_expansion(uint32_t index) {
  std::memcpy(key.data(), record(index), at(words) * 8);
  decode(key.data());
  expansion = Expansion{true, 0, 0, analyse(), hash_of_cells()};
}

// Tries the moves of the position being expanded, from where the last call
// stopped, up to `limit` of them: a board of a hundred lanes has thousands.
void Reachability::Impl::continue_expansion(int64_t limit) {
  Expansion& e = expansion;
  for (; e.src < lanes; ++e.src, e.dst = 0) {
    const int32_t f = front[at(e.src)];
    if (f < 0) continue;
    const int32_t from = lane_offset[at(e.src)] + f;
    const int32_t item = cell[at(from)];
    const uint32_t code = code_of(item);
    const uint64_t lifted = e.hash ^ cell_key(from, code);
    const int32_t rest = e.misplaced - facts[at(e.src)].misplaced_levels + popped[at(e.src)].misplaced_levels;
    // Putting the item back restores the lane only when nothing but empty
    // slots lay behind it: otherwise the reverse move lands elsewhere.
    const bool undoable = f + 1 == lane_len[at(e.src)] || cell[at(from + 1)] != 0;
    for (; e.dst < lanes; ++e.dst) {
      const int32_t dst = e.dst;
      if (dst == e.src || target[at(dst)] < 0) continue;
      if (limit-- == 0) return;
      ++moves;
      ++edges;
      one_way = one_way || !undoable;
      const int32_t child_misplaced = rest - facts[at(dst)].misplaced_levels +
                                      push_item(facts[at(dst)], item, target[at(dst)]).misplaced_levels;
      if (child_misplaced == 0) {
        verdict = ReachVerdict::solvable;
        release();
        return;
      }
      const int32_t to = lane_offset[at(dst)] + target[at(dst)];
      std::memcpy(child.data(), key.data(), at(words) * 8);
      set_code(child.data(), from, 0);
      set_code(child.data(), to, code);
      bool inserted = false;
      const int64_t index = find_or_insert(child.data(), lifted ^ cell_key(to, code), inserted);
      if (index < 0 || (inserted && !push_pending(static_cast<uint32_t>(index), child_misplaced))) {
        give_up();
        return;
      }
    }
  }
  e.active = false;
}

Reachability::Reachability(const BoardLayout& layout, std::size_t memory_cap) {
  try {
    impl_ = std::make_unique<Impl>(layout, memory_cap);
  } catch (const std::bad_alloc&) {
    impl_.reset();
  }
}

Reachability::~Reachability() = default;

ReachVerdict Reachability::verdict() const {
  return impl_ ? impl_->verdict : ReachVerdict::gave_up;
}

ReachReport Reachability::report() const {
  if (!impl_) return ReachReport{ReachVerdict::gave_up, 0, 0, 0, 0.0};
  return ReachReport{impl_->verdict, impl_->positions.count(), impl_->moves, impl_->budget.peak,
                     impl_->seconds};
}

ReachVerdict Reachability::advance(int64_t work, const std::function<bool()>& pause) {
  if (!impl_) return ReachVerdict::gave_up;
  Impl& r = *impl_;
  if (r.verdict != ReachVerdict::open) return r.verdict;
  const auto began = std::chrono::steady_clock::now();
  try {
    const int64_t per_move = r.words + 2;
    int64_t since_pause = 0;
    while (r.verdict == ReachVerdict::open && work > 0) {
      const int64_t before = r.moves;
      if (r.second_phase) {
        r.step_states();
      } else if (r.expansion.active) {
        r.continue_expansion(std::min(Impl::kPauseEvery - since_pause, (work - 1) / per_move + 1));
      } else if (uint32_t index = 0; r.take_pending(index)) {
        r.begin_expansion(index);
      } else {
        r.finish_positions();
      }
      const int64_t moved = r.moves - before;
      work -= std::max<int64_t>(1, moved * per_move);
      since_pause += moved;
      if (since_pause >= Impl::kPauseEvery) {
        since_pause = 0;
        if (r.verdict == ReachVerdict::open && pause && pause()) break;
      }
    }
  } catch (const std::bad_alloc&) {
    r.give_up();
  }
  r.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  return r.verdict;
}

}  // namespace velmora
