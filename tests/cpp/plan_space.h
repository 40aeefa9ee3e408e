#pragma once
// The whole space of a small board for the planner's tests: every position
// reachable from the start, each with its breadth-first distance to the
// nearest sorted position. Moves and the order rule are written here on a
// flat row of cells, apart from the engine's, so that the two check each
// other.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "board/layout.h"

namespace velmora {

inline constexpr int32_t kUnreachable = std::numeric_limits<int32_t>::max();

// A position of at most 42 cells holding values 0..7, 3 bits a cell.
using Code = unsigned __int128;
inline constexpr int32_t kMaxSpaceCells = 42;

struct Space {
  int32_t cells = 0;
  std::vector<Code> positions;     // [0] is the start
  std::vector<int32_t> distance;   // moves to the nearest sorted position
};

inline Code encode(const uint8_t* cells, int32_t n) {
  Code code = 0;
  for (int32_t c = n - 1; c >= 0; --c) code = code << 3 | cells[c];
  return code;
}
inline void decode(Code code, int32_t n, uint8_t* cells) {
  for (int32_t c = 0; c < n; ++c, code >>= 3) cells[c] = static_cast<uint8_t>(code & 7);
}

// Lane i's cells are cells[i * capacity, i * capacity + lane_len[i]).
inline bool lane_sorted(const BoardLayout& layout, const uint8_t* cells, int32_t lane) {
  int32_t behind = 256;  // the item behind, walking from the back
  bool broken = false;
  for (int32_t s = layout.lane_len[static_cast<std::size_t>(lane)] - 1; s >= 0; --s) {
    const int32_t v = cells[lane * layout.capacity + s];
    if (v == 0) continue;
    if (broken && v <= kTopLevel) return false;  // in front of the break
    if (v > behind) {
      if (v <= kTopLevel) return false;
      broken = true;
    }
    behind = v;
  }
  return true;
}

inline bool board_sorted(const BoardLayout& layout, const uint8_t* cells) {
  for (int32_t i = 0; i < layout.lane_count; ++i) {
    if (!lane_sorted(layout, cells, i)) return false;
  }
  return true;
}

inline int32_t first_item(const BoardLayout& layout, const uint8_t* cells, int32_t lane) {
  for (int32_t s = 0; s < layout.lane_len[static_cast<std::size_t>(lane)]; ++s) {
    if (cells[lane * layout.capacity + s] != 0) return s;
  }
  return -1;
}

// Moves src -> dst on `cells`; false (cells untouched) when it is not legal.
inline bool move_cells(const BoardLayout& layout, uint8_t* cells, int32_t src, int32_t dst) {
  const int32_t a = first_item(layout, cells, src);
  const int32_t b = first_item(layout, cells, dst);
  const int32_t len = layout.lane_len[static_cast<std::size_t>(dst)];
  if (src == dst || a < 0 || len == 0 || b == 0) return false;
  cells[dst * layout.capacity + (b < 0 ? len - 1 : b - 1)] = cells[src * layout.capacity + a];
  cells[src * layout.capacity + a] = 0;
  return true;
}

struct CodeHash {
  std::size_t operator()(Code c) const {
    return static_cast<std::size_t>((static_cast<uint64_t>(c) ^ static_cast<uint64_t>(c >> 64) * 31) *
                                    0x9e3779b97f4a7c15ULL);
  }
};

// nullopt when the board has more than `cap` reachable positions. A move
// of value v from cell a to cell b changes the code by v at a and at b.
inline std::optional<Space> explore(const BoardLayout& layout, std::size_t cap) {
  Space space;
  space.cells = layout.lane_count * layout.capacity;
  if (space.cells > kMaxSpaceCells) return std::nullopt;
  std::unordered_map<Code, int32_t, CodeHash> index;
  index.reserve(cap);
  std::vector<int32_t> parent_of;  // per edge, its parent; edges grouped by parent
  std::vector<int32_t> child_of;
  space.positions.push_back(encode(layout.start_grid.data(), space.cells));
  index.emplace(space.positions[0], 0);
  uint8_t here[kMaxSpaceCells];
  int32_t front[kMaxLanes];
  for (std::size_t p = 0; p < space.positions.size(); ++p) {
    decode(space.positions[p], space.cells, here);
    for (int32_t lane = 0; lane < layout.lane_count; ++lane) front[lane] = first_item(layout, here, lane);
    for (int32_t src = 0; src < layout.lane_count; ++src) {
      if (front[src] < 0) continue;
      const int32_t a = src * layout.capacity + front[src];
      const Code v = here[a];
      for (int32_t dst = 0; dst < layout.lane_count; ++dst) {
        const int32_t len = layout.lane_len[static_cast<std::size_t>(dst)];
        if (dst == src || len == 0 || front[dst] == 0) continue;
        const int32_t b = dst * layout.capacity + (front[dst] < 0 ? len - 1 : front[dst] - 1);
        const Code child = space.positions[p] ^ v << (3 * a) ^ v << (3 * b);
        const auto [it, fresh] = index.try_emplace(child, static_cast<int32_t>(space.positions.size()));
        if (fresh) {
          if (space.positions.size() >= cap) return std::nullopt;
          space.positions.push_back(child);
        }
        parent_of.push_back(static_cast<int32_t>(p));
        child_of.push_back(it->second);
      }
    }
  }
  // The edges into each position (a counting sort by child), for the
  // breadth-first search backwards from the sorted positions.
  const std::size_t n = space.positions.size();
  std::vector<int32_t> start(n + 1, 0);
  for (const int32_t c : child_of) ++start[static_cast<std::size_t>(c) + 1];
  for (std::size_t i = 0; i < n; ++i) start[i + 1] += start[i];
  std::vector<int32_t> parents(parent_of.size());
  std::vector<int32_t> fill(start.begin(), start.end() - 1);
  for (std::size_t e = 0; e < child_of.size(); ++e) {
    parents[static_cast<std::size_t>(fill[static_cast<std::size_t>(child_of[e])]++)] = parent_of[e];
  }
  space.distance.assign(n, kUnreachable);
  std::deque<int32_t> queue;
  for (std::size_t p = 0; p < n; ++p) {
    decode(space.positions[p], space.cells, here);
    if (board_sorted(layout, here)) {
      space.distance[p] = 0;
      queue.push_back(static_cast<int32_t>(p));
    }
  }
  while (!queue.empty()) {
    const auto p = static_cast<std::size_t>(queue.front());
    queue.pop_front();
    for (int32_t e = start[p]; e < start[p + 1]; ++e) {
      auto& d = space.distance[static_cast<std::size_t>(parents[static_cast<std::size_t>(e)])];
      if (d == kUnreachable) {
        d = space.distance[p] + 1;
        queue.push_back(parents[static_cast<std::size_t>(e)]);
      }
    }
  }
  return space;
}

// 3 to 7 lanes of 2 to 4 slots (3 at most from 5 lanes), levels 1..5 packed at the back, now and then
// (`big_pct` in a hundred items) a value above 5, and now and then a gap; `tight` leaves one to three
// free slots, otherwise some three fifths are free.
inline Lanes small_board(std::mt19937& rng, bool tight, int big_pct = 4) {
  std::uniform_int_distribution<int> lanes_n(3, 7), level(1, 5), pct(0, 99);
  const int lanes = lanes_n(rng);
  const int slots = 2 + static_cast<int>(rng() % (lanes <= 4 ? 3u : 2u));  // 2..4, 2..3 from 5 lanes
  const int free_slots = tight ? 1 + pct(rng) % 3 : lanes * slots * 3 / 5;
  int items = std::max(1, lanes * slots - free_slots);
  Lanes board(static_cast<std::size_t>(lanes), std::vector<int32_t>(static_cast<std::size_t>(slots), 0));
  while (items > 0) {
    auto& lane = board[static_cast<std::size_t>(rng() % static_cast<unsigned>(lanes))];
    if (lane[0] != 0) continue;
    int32_t s = slots - 1;
    while (lane[static_cast<std::size_t>(s)] != 0) --s;
    const int draw = pct(rng);
    lane[static_cast<std::size_t>(s)] = draw < big_pct ? 6 + draw % 2 : level(rng);
    --items;
  }
  if (pct(rng) < 10) {  // a gap: the back item of a lane with room moves forward
    for (auto& lane : board) {
      if (lane[0] == 0 && lane.back() != 0 && lane.size() >= 2 && lane[lane.size() - 2] == 0) {
        std::swap(lane[lane.size() - 2], lane.back());
        break;
      }
    }
  }
  return board;
}

}  // namespace velmora

namespace velmora {

// A board of the shared set, with what its whole space showed.
struct SmallCase {
  Lanes lanes;
  bool tight = false;
  int32_t distance = 0;  // moves from the start to the nearest sorted position
  int64_t positions = 0;
  // The lower bound on every position: how often it rose above the misplaced
  // count, by one and by more, and the first position where it exceeded the
  // distance.
  int64_t raised = 0;
  int64_t raised_more = 0;
  std::optional<std::string> violation;
};

// 320 boards, half tight, each with at most 30,000 reachable positions,
// their spaces enumerated once for every test that reads them.
const std::vector<SmallCase>& small_cases();

// 100 boards like those, with a third of their items above level 5.
const std::vector<SmallCase>& big_item_cases();

}  // namespace velmora
