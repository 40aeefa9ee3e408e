// The board models agree on random walks: incremental move application with
// evaluation from scratch, successor lists with the legal moves, and the fast
// board (evaluate, lift, sketch, do_move, undo_move) with move application.

#include <optional>

#include "board/move.h"
#include "board/position.h"
#include "search/successors.h"
#include "test_boards.h"

namespace velmora {
namespace {

// One move (src != dst) by every model: apply_move's child equals its
// evaluation from scratch, and the fast board's evaluation and its shortcuts
// before one (legality, hash, blokaj, whether the clearing cost is
// positive) agree with it. The child, nullopt for an illegal move.
std::optional<LaneState> expect_models_agree(const LaneState& state, const BoardLayout& layout,
                                             const Position& pos, int32_t src, int32_t dst) {
  SCOPED_TRACE(std::to_string(src) + "->" + std::to_string(dst));
  const auto child = apply_move(state, layout, src, dst);
  const auto fast = pos.evaluate(src, dst);
  Lift lift;
  Sketch sketch;
  const bool sketched = pos.lift(src, lift) && pos.sketch(lift, dst, sketch);
  EXPECT_EQ(fast.has_value(), child.has_value());
  EXPECT_EQ(sketched, child.has_value());
  if (!child || !fast || !sketched) return child;
  expect_same_state(*child, evaluate_grid(child->grid, layout, state.g + 1, src, dst));
  EXPECT_EQ(fast->m, static_cast<const Measures&>(*child));
  EXPECT_EQ(fast->diff, deficits(child->demand, child->supply));
  EXPECT_EQ(std::tie(sketch.hash, sketch.blokaj), std::tie(child->hash, child->blokaj));
  EXPECT_EQ(pos.least_h(lift, dst, sketch), child->blokaj + (child->extra > 0 ? 1 : 0));
  return child;
}

// Every move of every node of the walks by every model; the successor list
// holds the legal moves but the reverse of the last one, in generation
// order, with the children's values, and so do the fast board's child
// hashes; after do_move and undo_move the fast board equals the walk.
TEST(Equivalence, BoardModelsAgreeOnRandomWalks) {
  std::mt19937 rng(20240611);
  int children = 0, g_star_changed = 0, extra_positive = 0, extra_reusable = 0;
  for (int board = 0; board < 400 && !HasFailure(); ++board) {
    SCOPED_TRACE("board " + std::to_string(board));
    const BoardLayout layout = build_layout(random_lanes(rng, board % 2 == 0));
    std::vector<LaneState> walk{evaluate_start(layout)};
    Position pos(layout);
    pos.set(walk.back());
    for (auto step = 1 + rng() % 30; step > 0 && !HasFailure(); --step) {
      const LaneState& state = walk.back();
      std::vector<Move> legal, unreversed;
      std::vector<uint64_t> hashes;  // of the unreversed children, in generation order
      int32_t open = 0;  // lanes with a free front slot
      for (int32_t lane = 0; lane < layout.lane_count; ++lane) {
        open += layout.lane_len[lane] > 0 && state.grid[cell_of(layout, lane, 0)] == 0 ? 1 : 0;
      }
      for (int32_t src = 0; src < layout.lane_count; ++src) {
        Lift front, whole;
        ASSERT_EQ(pos.lift_front(src, front), pos.lift(src, whole));
        if (pos.lift(src, whole)) {
          EXPECT_EQ(std::tie(front.item, front.blokaj, front.hash),
                    std::tie(whole.item, whole.blokaj, whole.hash));
        }
        for (int32_t dst = 0; dst < layout.lane_count; ++dst) {
          const auto child =
              src == dst ? std::nullopt : expect_models_agree(state, layout, pos, src, dst);
          if (!child) continue;
          ++children;
          g_star_changed += child->g_star != state.g_star;
          extra_positive += child->extra > 0;
          extra_reusable += child->ds > 0 && child->ds == state.ds && child->g_star == state.g_star;
          legal.push_back({src, dst});
          if (src != state.last_dst || dst != state.last_src) {
            unreversed.push_back({src, dst});
            hashes.push_back(child->hash);
          }
        }
      }
      std::vector<uint64_t> fast_hashes;
      pos.child_hashes(fast_hashes);
      EXPECT_EQ(fast_hashes, hashes);
      EXPECT_EQ(pos.open_lanes().size(), open);
      const bool tiebreak = rng() % 2 == 0;
      const int64_t parent_score = static_cast<int64_t>(rng() % 2001) - 1000;
      const auto list = generate_successors(state, layout, parent_score, tiebreak);
      // Distinct moves give distinct grids, so nothing merges.
      ASSERT_EQ(list.size(), unreversed.size());
      for (size_t i = 0; i < list.size(); ++i) {
        const Move mv = unreversed[i];
        const LaneState child = *apply_move(state, layout, mv.src, mv.dst);
        EXPECT_EQ(std::tie(list[i].src, list[i].dst, list[i].f, list[i].h, list[i].g),
                  std::tie(mv.src, mv.dst, child.f, child.h, child.g));
        EXPECT_TRUE(tiebreak || list[i].score == 0);
      }
      if (legal.empty()) break;
      const Move mv = legal[rng() % legal.size()];
      walk.push_back(*apply_move(state, layout, mv.src, mv.dst));
      pos.do_move(mv.src, mv.dst, *pos.evaluate(mv.src, mv.dst));
      for (auto back = rng() % 4 == 0 ? 1 + rng() % (walk.size() - 1) : 0; back > 0; --back) {
        pos.undo_move();
        walk.pop_back();
      }
      expect_same_state(pos.to_lane_state(), walk.back());
    }
  }
  // The walks must reach the paths that differ: a new g_star, a positive
  // clearing cost, and the case where the parent's may be reused.
  EXPECT_GT(children, 30000);
  EXPECT_GT(g_star_changed, 1000);
  EXPECT_GT(extra_positive, 1000);
  EXPECT_GT(extra_reusable, 1000);
}

// Boards of every width: a sample of the moves along short random walks. And
// a lane grown past 20 items: the limit holds for the start only, and both
// models must still analyse such a lane exactly.
TEST(Equivalence, BoardModelsAgreeOnWideBoardsAndLongLanes) {
  std::mt19937 rng(20261207);
  for (int board = 0; board < 60 && !HasFailure(); ++board) {
    SCOPED_TRACE("board " + std::to_string(board));
    const BoardLayout layout = build_layout(wide_lanes(rng, 1 + static_cast<int>(rng() % 30)));
    LaneState state = evaluate_start(layout);
    Position pos(layout);
    pos.set(state);
    for (int step = 0; step < 4; ++step) {
      std::optional<Move> next;
      for (int sample = 0; sample < 150; ++sample) {
        const auto src = static_cast<int32_t>(rng() % static_cast<unsigned>(layout.lane_count));
        const auto dst = static_cast<int32_t>(rng() % static_cast<unsigned>(layout.lane_count));
        if (src != dst && expect_models_agree(state, layout, pos, src, dst)) next = Move{src, dst};
      }
      if (!next) break;
      state = *apply_move(state, layout, next->src, next->dst);
      pos.do_move(next->src, next->dst, *pos.evaluate(next->src, next->dst));
      expect_same_state(pos.to_lane_state(), state);
    }
  }
  Lanes lanes{std::vector<int32_t>(30, 0), std::vector<int32_t>(30, 0)};
  for (std::size_t s = 10; s < 30; ++s) lanes[0][s] = static_cast<int32_t>(1 + s % 5);
  for (std::size_t s = 20; s < 30; ++s) lanes[1][s] = static_cast<int32_t>(1 + s * 7 % 5);
  const BoardLayout layout = build_layout(lanes);
  LaneState state = evaluate_start(layout);
  Position pos(layout);
  pos.set(state);
  for (int i = 0; i < 10; ++i) {
    state = *expect_models_agree(state, layout, pos, 1, 0);
    pos.do_move(1, 0, *pos.evaluate(1, 0));
  }
  EXPECT_EQ(pos.lane(0).items, 30);
  expect_same_state(pos.to_lane_state(), state);
}

}  // namespace
}  // namespace velmora
