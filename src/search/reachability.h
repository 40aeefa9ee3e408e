#pragma once
// Exhaustive enumeration of the positions reachable from the start.
//
// IDA* keeps no record of the positions it has seen, so on a board where
// moves can go round in a cycle every iteration finds an f above its bound
// and the run raises the bound for ever, whether a solved position can be
// reached or not. Enumerating the reachable positions settles the question:
// once every one of them has been expanded and none is solved, no iteration
// will ever find a solution. Positions are stored whole (one small code per
// cell) and compared by content, so a hash collision can never hide a
// solved position.
//
// The enumeration goes best-first by misplaced items, so on a solvable board
// it usually meets a solved position early and stops for good; the order
// does not matter for the proof, which needs every position anyway.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "board/layout.h"

namespace velmora {

// Memory the enumeration of one run may hold. A board whose reachable
// positions do not fit is left to the search alone.
inline constexpr std::size_t kReachMemoryCap = std::size_t{256} << 20;

enum class ReachVerdict : uint8_t {
  open,         // still enumerating
  solvable,     // a solved position is reachable: nothing left to prove
  no_solution,  // none is reachable, and the search's tree has no end
  search_ends,  // none is reachable, but every path of the search ends, so
                // the search runs out of moves by itself
  gave_up,      // the memory cap, or the allocator, stopped it
};

// What a run reports about its enumeration.
struct ReachReport {
  ReachVerdict verdict = ReachVerdict::open;
  int64_t positions = 0;       // distinct positions stored
  int64_t moves = 0;           // moves tried
  std::size_t peak_bytes = 0;  // most memory held at once
  double seconds = 0.0;        // time spent enumerating on the driver's thread
};

class Reachability {
 public:
  // Starts from the layout's start grid. With a cap too small for even the
  // first tables the verdict is gave_up at once.
  Reachability(const BoardLayout& layout, std::size_t memory_cap);
  ~Reachability();
  Reachability(const Reachability&) = delete;
  Reachability& operator=(const Reachability&) = delete;

  // Does up to `work` more units of work, stopping early when `pause`
  // answers true. Every legal move out of an expanded position costs the
  // 64-bit words of a stored position plus two, so that a budget takes
  // about as long on a large board as on a small one. `pause` is asked every
  // 256 moves. Returns the verdict; once it is no longer open every table
  // has been freed. Never throws: running out of memory gives up.
  ReachVerdict advance(int64_t work, const std::function<bool()>& pause);

  ReachVerdict verdict() const;
  ReachReport report() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
