#pragma once
// The enumeration's working record, shared by its two phases: every
// reachable position (reachability.cpp), then, when some move cannot be
// undone, the cycles among the search's states (reach_cycles.cpp).

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "board/lane_facts.h"
#include "board/zobrist.h"
#include "search/memory_budget.h"
#include "search/packed_positions.h"
#include "search/reachability.h"

namespace velmora {

struct Reachability::Impl {
  static constexpr int64_t kPauseEvery = 256;              // moves between two questions to `pause`
  static constexpr std::size_t kFirstTable = 1024;         // slots of a hash table at the start
  static constexpr uint16_t kNoMove = 0xFFFF;              // the start's last move
  static constexpr uint32_t kMaxPositions = 0xFFFF'FFF0u;  // indices are 32 bits

  static bool is_level(int32_t v) { return v >= 1 && v <= kTopLevel; }
  static uint64_t mix(uint64_t h) {
    h ^= h >> 31;
    h *= 0x7fb5d329728ea185ULL;
    h ^= h >> 27;
    h *= 0x81dadef4bc2dd44dULL;
    h ^= h >> 33;
    return h;
  }
  static std::size_t at(int32_t i) { return static_cast<std::size_t>(i); }
  // Entries of both tables: 0 is free.
  static bool is_free(uint64_t e) { return e == 0; }
  // A positions table entry: (low 32 bits of the hash << 32) | (index + 1). The
  // slot comes from the same low bits, so growing needs no hash recomputed.
  static uint32_t index_of(uint64_t e) { return static_cast<uint32_t>((e & 0xFFFF'FFFFu) - 1); }

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

}  // namespace velmora
