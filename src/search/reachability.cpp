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
#include "board/lane_facts.h"
#include "board/move.h"
#include "board/zobrist.h"
#include "search/memory_budget.h"
#include "search/packed_positions.h"

namespace velmora {
namespace {

constexpr int64_t kPauseEvery = 256;                // moves between two questions to `pause`
constexpr std::size_t kFirstTable = 1024;           // slots of a hash table at the start
constexpr uint16_t kNoMove = 0xFFFF;                // the start's last move
constexpr uint32_t kMaxPositions = 0xFFFF'FFF0u;    // indices are 32 bits

bool is_level(int32_t v) { return v >= 1 && v <= kTopLevel; }

uint64_t mix(uint64_t h) {
  h ^= h >> 31;
  h *= 0x7fb5d329728ea185ULL;
  h ^= h >> 27;
  h *= 0x81dadef4bc2dd44dULL;
  h ^= h >> 33;
  return h;
}

std::size_t at(int32_t i) { return static_cast<std::size_t>(i); }

// Entries of both tables: 0 is free.
bool is_free(uint64_t e) { return e == 0; }
// A positions table entry: (low 32 bits of the hash << 32) | (index + 1). The
// slot comes from the same low bits, so growing needs no hash recomputed.
uint32_t index_of(uint64_t e) { return static_cast<uint32_t>((e & 0xFFFF'FFFFu) - 1); }

}  // namespace

struct Reachability::Impl {
  // One step of the second phase's depth-first walk: a state of the search
  // (a position and the move that led to it) and the next move to try.
  struct Frame {
    uint32_t index;
    uint16_t last;
    uint16_t next;
  };

  Impl(const BoardLayout& layout, std::size_t memory_cap);

  // --- memory: every allocation is charged to `budget` first
  bool charge(std::size_t bytes) { return budget.charge(bytes); }
  void refund(std::size_t bytes) { budget.refund(bytes); }
  template <class T>
  bool grow(std::vector<T>& v) {
    return budget.grow(v);
  }
  void release();
  void give_up() {
    verdict = ReachVerdict::gave_up;
    release();
  }

  // --- positions: packed cell codes
  const uint64_t* record(uint32_t index) const { return positions.at(index); }
  void set_code(uint64_t* k, int32_t cell, uint32_t code) const { positions.set_code(k, cell, code); }
  // The board's Zobrist keys of the cell in the layout's grid, so a move
  // updates the hash in two steps whatever the board's size.
  uint64_t cell_key(int32_t c, uint32_t code) const {
    return fill_key(grid_cell[at(c)], positions.value_of(code));
  }
  uint64_t hash_of_cells() const {  // of the decoded `cell`
    uint64_t h = 0;
    for (int32_t c = 0; c < cells; ++c) {
      if (cell[at(c)] != 0) h ^= fill_key(grid_cell[at(c)], cell[at(c)]);
    }
    return h;
  }
  void decode(const uint64_t* k) {
    for (int32_t c = 0; c < cells; ++c) cell[at(c)] = positions.value_of(positions.code_at(k, c));
  }
  uint32_t code_of(int32_t value) const { return positions.code_of(static_cast<uint8_t>(value)); }
  // Each lane's front, landing slot and facts by the board's move rule and
  // lane analysis, from the decoded `cell`; returns the misplaced total.
  int32_t analyse();

  // Index of `k` (whose hash is `h`), inserting it when new (`inserted`); -1
  // when the cap is reached.
  int64_t find_or_insert(const uint64_t* k, uint64_t h, bool& inserted);
  int64_t find(const uint64_t* k, uint64_t h);
  bool grow_table();

  // --- first phase: every reachable position
  // The position being expanded: its moves are tried in slices.
  struct Expansion {
    bool active = false;
    int32_t src = 0, dst = 0;  // the next move to try
    int32_t misplaced = 0;
    uint64_t hash = 0;
  };
  bool take_pending(uint32_t& index);
  bool push_pending(uint32_t index, int32_t misplaced);
  void begin_expansion(uint32_t index);
  void continue_expansion(int64_t limit);
  void finish_positions();

  // --- second phase: cycles among the search's states, when some move cannot be undone
  static uint64_t state_key(uint32_t index, uint16_t last) {
    return (static_cast<uint64_t>(index) << 16) | last;
  }
  uint64_t* find_state(uint64_t key);  // its slot, or the empty slot where it goes
  bool add_state(uint64_t key);
  void step_states();

  ReachVerdict verdict = ReachVerdict::open;
  bool second_phase = false;
  int64_t moves = 0;
  double seconds = 0.0;

  // board shape
  int32_t lanes = 0;
  int32_t cells = 0;
  std::vector<int32_t> lane_len, lane_offset;  // offset: packed index of slot 0

  std::vector<int32_t> grid_cell;  // of each packed cell, in the layout's grid
  int32_t words = 0;  // 64-bit words per position

  MemoryBudget budget;
  std::size_t fixed = 0;
  PackedPositions positions;

  // (low 32 bits of the hash << 32) | (index + 1); 0 is free. The slot comes
  // from the same low bits, so growing needs no hash recomputed.
  std::unique_ptr<uint64_t[]> table;
  std::size_t table_size = 0;

  std::vector<std::vector<uint32_t>> pending;  // by misplaced count, last in first out
  std::size_t lowest = 0;

  Expansion expansion;
  int64_t edges = 0;     // moves out of expanded positions
  bool one_way = false;  // some move cannot be undone by the reverse move

  std::vector<Frame> stack;
  std::unique_ptr<uint64_t[]> states;  // (state key << 2) | colour; 1 on the walk, 2 done
  std::size_t states_size = 0, state_count = 0;
  uint32_t decoded = std::numeric_limits<uint32_t>::max();
  uint64_t decoded_hash = 0;

  // scratch: the decoded position and its lanes
  std::vector<uint8_t> cell;
  std::vector<int32_t> front, target;  // slots: the front item's, and where an item lands
  std::vector<LaneFacts> facts, popped;  // each lane's, and without its front item
  std::vector<uint64_t> key, child;
};

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
        r.continue_expansion(std::min(kPauseEvery - since_pause, (work - 1) / per_move + 1));
      } else if (uint32_t index = 0; r.take_pending(index)) {
        r.begin_expansion(index);
      } else {
        r.finish_positions();
      }
      const int64_t moved = r.moves - before;
      work -= std::max<int64_t>(1, moved * per_move);
      since_pause += moved;
      if (since_pause >= kPauseEvery) {
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
