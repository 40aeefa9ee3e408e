#pragma once
// Every line a run writes to its log, declared once. The text is a protocol:
// tests, the benchmark and the command line read these shapes (the Python
// side keeps them in tests/python/log_shapes.py). Each line ends in "\n".

#include <cstdint>
#include <string>

namespace velmora::log_line {

// First line of every run, before the first iteration or any ending.
std::string started(int32_t blokaj, int32_t g_star, int32_t ds, double h, bool tiebreak);

// At the start of every iteration, before any worker's line.
std::string iteration(int32_t iteration, double bound, int32_t workers);

// Each worker's first line in every iteration.
std::string worker_opened(int32_t worker);

// A worker that took no root item in the iteration (it may still take pieces).
std::string worker_idle(int32_t worker);

// A worker every kProgressInterval of its own nodes.
std::string progress(int32_t iteration, int64_t worker_nodes, double bound, double min_h,
                     double elapsed_s);

// The run's ending when the start state has no legal move.
std::string no_move();

// The run's ending when a stop callable asked for it between iterations.
std::string stopped_between();

// The run's ending when a stop callable asked for it inside the search.
std::string stopped_in_search();

// The run's ending on a solution of `moves` moves found in `iteration`.
std::string solved(int32_t moves, int32_t iteration, double elapsed_s);

// The run's ending when no solved position is reachable, or the search ran
// out of moves.
std::string exhausted(double elapsed_s);

}  // namespace velmora::log_line
