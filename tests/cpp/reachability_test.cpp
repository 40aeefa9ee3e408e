// The enumeration of reachable positions against a plain one built on the
// reference board model (apply_move, evaluate_grid), its memory cap and its
// slices; and whole runs that it ends, or leaves alone. Every test that
// starts several workers has Run in its name, for the ThreadSanitizer filter.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "board/move.h"
#include "search/run_driver.h"
#include "search/reachability.h"

namespace velmora {
namespace {

const Lanes kSix{{0, 2}, {4, 3}, {2, 1}};  // 6 positions: the 4 fits in front of nothing
const Lanes kWide{{0, 1, 3, 4, 5}, {0, 0, 5, 1, 2}, {0, 5, 4, 3, 2}};  // 37,800 positions
const Lanes kDeadEnd{{1, 3, 2}, {0}};  // one move there and back: the search's tree ends
const std::string kEnd = "Cozum bulunamadi\\. sure=[0-9]+\\.[0-9]{6}\n";

// What the plain enumeration finds: whether a solved position is reachable,
// how many positions are, and whether the search's tree (moves that never
// undo the last one) has a cycle, i.e. no end.
struct Plain {
  bool solvable = false;
  size_t positions = 0;
  bool endless = false;
};

std::string cells_of(const LaneState& s, const BoardLayout& layout) {
  return {s.grid.begin(), s.grid.begin() + layout.lane_count * layout.capacity};
}

// Breadth first over whole states of the reference model, so nothing else is
// trusted: first every position any sequence of moves reaches, then the
// states of the search (position and last move); nullopt beyond `limit`.
std::optional<Plain> plain_enumeration(const Lanes& lanes, size_t limit) {
  const BoardLayout layout = build_layout(lanes);
  const auto state_of = [&](const std::string& cells, int32_t last_src, int32_t last_dst) {
    Grid grid{};
    std::copy(cells.begin(), cells.end(), grid.begin());
    return evaluate_grid(grid, layout, 0, last_src, last_dst);
  };
  Plain plain;
  std::vector<std::string> positions{cells_of(evaluate_start(layout), layout)};
  std::set<std::string> seen(positions.begin(), positions.end());
  for (size_t next = 0; next < positions.size(); ++next) {
    const LaneState state = state_of(positions[next], -1, -1);
    plain.solvable = plain.solvable || state.blokaj == 0;
    for (int32_t src = 0; src < layout.lane_count; ++src) {
      for (int32_t dst = 0; dst < layout.lane_count; ++dst) {
        const auto child = src == dst ? std::nullopt : apply_move(state, layout, src, dst);
        if (child && seen.insert(cells_of(*child, layout)).second) {
          if (seen.size() > limit) return std::nullopt;
          positions.push_back(cells_of(*child, layout));
        }
      }
    }
  }
  plain.positions = positions.size();

  // States -> index, and the moves between them.
  using Key = std::tuple<std::string, int32_t, int32_t>;
  std::map<Key, size_t> index;
  std::vector<Key> states;
  std::vector<std::vector<size_t>> edges;
  const auto add = [&](const Key& key) {
    const auto [it, fresh] = index.emplace(key, states.size());
    if (fresh) {
      states.push_back(key);
      edges.emplace_back();
    }
    return it->second;
  };
  add({positions[0], -1, -1});
  for (size_t next = 0; next < states.size(); ++next) {
    const auto [cells, last_src, last_dst] = states[next];
    const LaneState state = state_of(cells, last_src, last_dst);
    for (int32_t src = 0; src < layout.lane_count; ++src) {
      for (int32_t dst = 0; dst < layout.lane_count; ++dst) {
        if (src == dst || (src == last_dst && dst == last_src)) continue;  // never undo the last move
        if (const auto child = apply_move(state, layout, src, dst)) {
          const size_t to = add({cells_of(*child, layout), src, dst});
          edges[next].push_back(to);
        }
      }
    }
  }
  // Peels states nothing leads to; what is left lies on or behind a cycle.
  std::vector<size_t> into(edges.size(), 0), free;
  for (const auto& out : edges) {
    for (const size_t to : out) ++into[to];
  }
  for (size_t i = 0; i < into.size(); ++i) {
    if (into[i] == 0) free.push_back(i);
  }
  size_t peeled = 0;
  while (!free.empty()) {
    const size_t i = free.back();
    free.pop_back();
    ++peeled;
    for (const size_t to : edges[i]) {
      if (--into[to] == 0) free.push_back(to);
    }
  }
  plain.endless = peeled < edges.size();
  return plain;
}

// 1 to 5 lanes of 0 to 4 slots, mostly levels 1..5, some larger items, and
// half of the boards with items anywhere in the lane (gaps, empty backs).
Lanes small_board(std::mt19937& rng) {
  std::uniform_int_distribution<int> lanes(1, 5), len(0, 4), pct(0, 99), level(1, 5), high(6, 9);
  const bool packed = pct(rng) < 50;
  Lanes board(static_cast<size_t>(lanes(rng)));
  for (auto& lane : board) {
    lane.assign(static_cast<size_t>(len(rng)), 0);
    for (auto& cell : lane) {
      if (pct(rng) < 65) cell = pct(rng) < 10 ? high(rng) : level(rng);
    }
    if (packed) std::stable_partition(lane.begin(), lane.end(), [](int v) { return v == 0; });
  }
  return board;
}

ReachReport enumerate(const Lanes& lanes, size_t cap = kReachMemoryCap) {
  Reachability reach(build_layout(lanes), cap);
  reach.advance(std::numeric_limits<int64_t>::max(), {});
  return reach.report();
}

TEST(Reachability, AgreesWithAPlainEnumeration) {
  std::mt19937 rng(20261207);
  std::map<std::pair<ReachVerdict, bool>, int> seen;  // (verdict, packed) -> boards
  for (int board = 0; board < 3000 && !HasFailure(); ++board) {
    const Lanes lanes = small_board(rng);
    const auto plain = plain_enumeration(lanes, 3000);
    if (!plain || plain->positions < 2 || evaluate_start(build_layout(lanes)).blokaj == 0) continue;
    SCOPED_TRACE(::testing::PrintToString(lanes));
    const ReachReport got = enumerate(lanes);
    bool packed = true;
    for (const auto& lane : lanes) packed = packed && std::is_partitioned(lane.begin(), lane.end(), [](int v) { return v == 0; });
    ++seen[{got.verdict, packed}];
    if (plain->solvable) {
      EXPECT_EQ(got.verdict, ReachVerdict::solvable);
      continue;
    }
    EXPECT_EQ(got.verdict, plain->endless ? ReachVerdict::no_solution : ReachVerdict::search_ends);
    EXPECT_EQ(got.positions, static_cast<int64_t>(plain->positions));
  }
  // Every verdict, on boards whose moves can all be undone and on boards
  // with gaps, where some cannot.
  for (const auto verdict : {ReachVerdict::solvable, ReachVerdict::no_solution, ReachVerdict::search_ends}) {
    for (const bool packed : {true, false}) {
      EXPECT_GE((seen[{verdict, packed}]), 20) << int(verdict) << " packed " << packed;
    }
  }
}

TEST(Reachability, MemoryCapSlicesAndPauses) {
  const ReachReport whole = enumerate(kWide);
  ASSERT_EQ(std::tie(whole.verdict, whole.positions), std::make_tuple(ReachVerdict::no_solution, 37800));
  // The cap holds to the byte: at the peak it is enough, one byte less is not.
  EXPECT_EQ(enumerate(kWide, whole.peak_bytes).verdict, ReachVerdict::no_solution);
  const ReachReport short_of = enumerate(kWide, whole.peak_bytes - 1);
  EXPECT_EQ(short_of.verdict, ReachVerdict::gave_up);
  EXPECT_LE(short_of.peak_bytes, whole.peak_bytes - 1);
  EXPECT_EQ(enumerate(kWide, 1000).verdict, ReachVerdict::gave_up);  // not even the first tables
  EXPECT_EQ(enumerate(kSix, 0).verdict, ReachVerdict::gave_up);

  // Small slices and pauses end where one call ends; budgets and pauses are
  // honoured to the move. A position of kWide is one 64-bit word, so a move
  // costs 3 units of work.
  Reachability reach(build_layout(kWide), kReachMemoryCap);
  int slices = 0;
  int64_t before = 0;
  while (reach.advance(999, [&] { return ++slices % 3 == 0; }) == ReachVerdict::open) {
    const int64_t moves = reach.report().moves;
    EXPECT_LE(moves - before, 333);
    before = moves;
  }
  const ReachReport sliced = reach.report();
  EXPECT_EQ(std::tie(sliced.verdict, sliced.positions, sliced.moves),
            std::tie(whole.verdict, whole.positions, whole.moves));
  EXPECT_GT(slices, 100);
  EXPECT_EQ(reach.advance(1000, {}), ReachVerdict::no_solution);  // settled for good
}

// A lane filled past 20 items by moves, with levels above 5 that are never
// misplaced: the enumeration's lane walk must match the reference's.
TEST(Reachability, LongLanesAndHighItems) {
  Lanes lanes{std::vector<int32_t>(22, 0), {0, 4}, {9, 2}, {0, 6}};
  for (size_t s = 2; s < 22; ++s) lanes[0][s] = static_cast<int32_t>(s % 4 == 0 ? 8 : 1 + s % 5);
  const auto plain = plain_enumeration(lanes, 20000);
  ASSERT_TRUE(plain.has_value());
  const ReachReport got = enumerate(lanes);
  EXPECT_FALSE(plain->solvable);
  EXPECT_EQ(std::tie(got.verdict, got.positions),
            std::make_tuple(ReachVerdict::no_solution, static_cast<int64_t>(plain->positions)));
}

struct Log {
  std::mutex mutex;
  std::vector<std::string> lines;
  std::atomic<int> stop_polls{0};
  int iterations = 0;
  RunHooks hooks{[this](std::string_view text) {
                   std::lock_guard lock(mutex);
                   lines.emplace_back(std::regex_replace(std::string(text), std::regex("[0-9]+\\.[0-9]{6}(s?)\n"), "S$1\n"));
                 },
                 [this] { return ++stop_polls > 1'000'000; },
                 [this] { return ++iterations > 1000; }, {}};
};

TEST(ThreadedRunUnreachable, SmallSpaceEndsBeforeTheFirstIteration) {
  for (const int32_t workers : {1, 2}) {
    Log log;
    std::vector<std::string> raw;
    log.hooks.log = [&](std::string_view text) { raw.emplace_back(text); };
    const RunOutcome out = run_search(kSix, {false, workers}, log.hooks);
    EXPECT_EQ(std::tie(out.end, out.iterations, out.reach.verdict, out.reach.positions),
              std::make_tuple(RunEnd::exhausted, 0, ReachVerdict::no_solution, 6));
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_TRUE(std::regex_match(raw[1], std::regex(kEnd))) << raw[1];
    EXPECT_EQ(std::tie(log.stop_polls, log.iterations), std::make_tuple(0, 0));
  }
}

// 37,800 positions: more than the first slice, so the proof comes while the
// workers search; the run ends after they are joined.
TEST(ThreadedRunUnreachable, LargerSpaceEndsBesideTheSearch) {
  for (const int32_t workers : {1, 2}) {
    Log log;
    const RunOutcome out = run_search(kWide, {false, workers}, log.hooks);
    EXPECT_EQ(std::tie(out.end, out.reach.verdict), std::make_tuple(RunEnd::exhausted, ReachVerdict::no_solution));
    EXPECT_GE(out.iterations, 1);
    EXPECT_EQ(log.lines.back(), "Cozum bulunamadi. sure=S\n");
    EXPECT_EQ(log.lines.front().rfind("IDA* basladi.", 0), 0u);
  }
}

// Beyond the cap the run goes on as if there were no enumeration, until a
// stop; at the cap it ends by itself.
TEST(ThreadedRunUnreachable, BeyondTheCapRunsUntilStopped) {
  Log beyond, at;
  int polls = 0;
  beyond.hooks.stop_get_best = [&] { return ++polls > 5; };
  RunOptions options{false, 2};
  options.reach_memory_cap = 64 * 1024;  // gives up within the first slice
  const RunOutcome out = run_search(kWide, options, beyond.hooks);
  EXPECT_EQ(std::tie(out.end, out.iterations, out.reach.verdict),
            std::make_tuple(RunEnd::stopped_before_iteration, 5, ReachVerdict::gave_up));
  EXPECT_LE(out.reach.peak_bytes, options.reach_memory_cap);
  options.reach_memory_cap = enumerate(kWide).peak_bytes;
  EXPECT_EQ(run_search(kWide, options, at.hooks).end, RunEnd::exhausted);
}

// On boards the search ends by itself, solved or not, one worker's run is the
// same with the enumeration and without: log, result and stop polls.
TEST(ThreadedRunUnreachable, SearchEndingsUnchanged) {
  const std::vector<Lanes> boards{kDeadEnd,
                                  {{0, 1, 3, 2}, {0}},
                                  {{0, 0, 0}, {0, 0, 1}, {2, 1, 2}, {5, 4, 5}},
                                  {{3, 4, 4, 1}, {0, 5, 2, 2}, {0, 0, 1, 1}, {0, 0, 0, 3}, {0, 0, 5, 2}},
                                  {{0, 5, 5, 3}, {0, 3, 1, 4}, {0, 0, 3, 2}, {0, 4, 1, 1}, {0, 0, 5, 4}, {0, 1, 2, 2}}};
  for (const Lanes& lanes : boards) {
    for (const bool tiebreak : {false, true}) {
      SCOPED_TRACE(::testing::PrintToString(lanes));
      Log with, without;
      RunOptions off{tiebreak, 1};
      off.reach_memory_cap = 0;
      const RunOutcome a = run_search(lanes, {tiebreak, 1}, with.hooks);
      const RunOutcome b = run_search(lanes, off, without.hooks);
      EXPECT_NE(a.end, RunEnd::stopped_before_iteration);
      EXPECT_EQ(std::tie(a.end, a.nodes, a.iterations, a.path), std::tie(b.end, b.nodes, b.iterations, b.path));
      EXPECT_EQ(with.lines, without.lines);
      EXPECT_EQ(with.stop_polls.load(), without.stop_polls.load());
      EXPECT_EQ(b.reach.verdict, ReachVerdict::open);
      EXPECT_TRUE(a.reach.verdict == ReachVerdict::solvable || a.reach.verdict == ReachVerdict::search_ends);
    }
  }
}

}  // namespace
}  // namespace velmora
