// The enumeration of reachable positions against a plain one built on the
// reference board model (apply_move, evaluate_grid), its memory cap and its
// slices; and whole runs that it ends, or leaves alone (Threaded prefix: they
// start workers, and the ThreadSanitizer run takes them).

#include <limits>
#include <map>
#include <optional>

#include "board/move.h"
#include "search/log_lines.h"
#include "search/reachability.h"
#include "test_boards.h"

namespace velmora {
namespace {

const Lanes kSix{{0, 2}, {4, 3}, {2, 1}};  // 6 positions: the 4 fits in front of nothing
const Lanes kWide{{0, 1, 3, 4, 5}, {0, 0, 5, 1, 2}, {0, 5, 4, 3, 2}};  // 37,800 positions

// What the plain enumeration finds: whether a solved position is reachable,
// how many positions are, and whether the search's tree (moves that never
// undo the last one) has a cycle, i.e. no end.
struct Plain {
  bool solvable = false;
  size_t positions = 0;
  bool endless = false;
};

// Breadth first over whole states of the reference model, so nothing else is
// trusted: first every position any sequence of moves reaches (nullopt beyond
// `limit`), then the states of the search (position and last move).
std::optional<Plain> plain_enumeration(const Lanes& lanes, size_t limit) {
  const BoardLayout layout = build_layout(lanes);
  using Key = std::tuple<std::string, int32_t, int32_t>;  // cells, last move
  const auto key_of = [&](const LaneState& s) {
    return Key{{s.grid.begin(), s.grid.begin() + layout.lane_count * layout.capacity},
               s.last_src, s.last_dst};
  };
  Plain plain;
  // Every state once, and the moves out of each; false beyond `most` states.
  const auto explore = [&](bool search, std::vector<std::vector<size_t>>& edges, size_t most) {
    std::map<Key, size_t> index;
    std::vector<Key> states;
    const auto add = [&](const Key& key) {
      const auto [it, fresh] = index.emplace(key, states.size());
      if (fresh) {
        states.push_back(key);
        edges.emplace_back();
      }
      return it->second;
    };
    add(key_of(evaluate_start(layout)));
    for (size_t next = 0; next < states.size() && states.size() <= most; ++next) {
      const auto [cells, last_src, last_dst] = states[next];
      Grid grid{};
      std::copy(cells.begin(), cells.end(), grid.begin());
      const LaneState state = evaluate_grid(grid, layout, 0, last_src, last_dst);
      plain.solvable = plain.solvable || state.blokaj == 0;
      for (int32_t src = 0; src < layout.lane_count; ++src) {
        for (int32_t dst = 0; dst < layout.lane_count; ++dst) {
          if (src == dst || (src == last_dst && dst == last_src)) continue;
          if (auto child = apply_move(state, layout, src, dst)) {
            if (!search) child->last_src = child->last_dst = -1;  // positions only
            const size_t to = add(key_of(*child));  // may grow `edges`
            edges[next].push_back(to);
          }
        }
      }
    }
    return states.size() <= most;
  };
  std::vector<std::vector<size_t>> edges;
  if (!explore(false, edges, limit)) return std::nullopt;
  plain.positions = edges.size();
  edges.clear();
  explore(true, edges, std::numeric_limits<size_t>::max());
  // Peels states nothing leads to; what is left lies on or behind a cycle.
  std::vector<size_t> into(edges.size(), 0), free;
  for (const auto& out : edges) for (const size_t to : out) ++into[to];
  for (size_t i = 0; i < into.size(); ++i) if (into[i] == 0) free.push_back(i);
  size_t peeled = 0;
  for (; !free.empty(); ++peeled) {
    const size_t i = free.back();
    free.pop_back();
    for (const size_t to : edges[i]) if (--into[to] == 0) free.push_back(to);
  }
  plain.endless = peeled < edges.size();
  return plain;
}

// 1 to 5 lanes of 0 to 4 slots, two in three slots filled, one item in ten
// above level 5; half of the boards with items anywhere in the lane (gaps,
// empty backs).
Lanes small_board(std::mt19937& rng) {
  const bool packed = std::uniform_int_distribution<int>(0, 99)(rng) < 50;
  return random_lanes(rng, packed, {.min_lanes = 1, .max_lanes = 5, .max_slots = 4,
                                    .fill_pct = 65, .high_pct = 10, .max_high = 9});
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
    const bool packed = std::ranges::all_of(
        lanes, [](auto& lane) { return std::ranges::is_partitioned(lane, [](int v) { return v == 0; }); });
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

// 6 positions are settled before the first iteration, without a stop poll;
// 37,800 are more than the first slice, so the proof comes while the workers
// search, and the run ends after they are joined. Beyond the cap the run goes
// on as if there were no enumeration, until a stop; at the cap it ends by itself.
TEST(ThreadedRunUnreachable, EndsBeforeOrBesideTheSearchWithinTheCap) {
  for (const int32_t workers : {1, 2}) {
    for (const Lanes* board : {&kSix, &kWide}) {
      Recorder rec;
      const RunOutcome out = run_search(*board, {false, workers}, rec.hooks);
      EXPECT_EQ(std::tie(out.end, out.reach.verdict, out.reach.positions),
                std::make_tuple(RunEnd::exhausted, ReachVerdict::no_solution,
                                board == &kSix ? 6 : 37800));
      EXPECT_EQ(untimed({rec.lines.back()}), untimed({log_line::exhausted(0.0)}));
      EXPECT_TRUE(rec.lines.front().starts_with("IDA* basladi."));
      if (board == &kSix) {
        EXPECT_EQ(std::make_tuple(out.iterations, rec.stop_polls.load(), rec.iterations, rec.lines.size()),
                  std::make_tuple(0, 0, 0, size_t{2}));
      } else {
        EXPECT_GE(out.iterations, 1);
      }
    }
  }
  Recorder beyond, at;
  beyond.hooks.stop_get_best = [polls = 0]() mutable { return ++polls > 5; };
  RunOptions options{false, 2};
  options.testing.reach_memory_cap = 64 * 1024;  // gives up within the first slice
  const RunOutcome out = run_search(kWide, options, beyond.hooks);
  EXPECT_EQ(std::tie(out.end, out.iterations, out.reach.verdict),
            std::make_tuple(RunEnd::stopped_before_iteration, 5, ReachVerdict::gave_up));
  EXPECT_LE(out.reach.peak_bytes, options.testing.reach_memory_cap);
  options.testing.reach_memory_cap = enumerate(kWide).peak_bytes;
  EXPECT_EQ(run_search(kWide, options, at.hooks).end, RunEnd::exhausted);
}

}  // namespace
}  // namespace velmora
