"""plan() on seeded boards of 6-40 lanes x 4-8 slots at 60 % and 75 % full and two of 100
lanes (bench/make_boards.py's packed_board), 2 workers, a time limit each, side by side with
velmora() under the same limit: the first plan's time, the moves, the proven lower bound and
the gap, per board and per shape; then the same two on the benchmark boards (bench/boards.txt)
and the shipped puzzles.

usage: plan_bench.py [SECONDS] [SEED]   (default 10 s, seed 20)"""

import json
import os
import random
import statistics
import sys
import time

from velmora import plan, velmora

from make_boards import packed_board
from module_bench import boards as bench_boards

HERE = os.path.dirname(os.path.abspath(__file__))

SHAPES = [(6, 4), (8, 5), (10, 5), (12, 6), (16, 6), (20, 5), (30, 6), (40, 8)]


def run_velmora(board, seconds):
    start = time.monotonic()
    result = velmora(board, log_fn=lambda line: None, num_threads=2,
                     stop_fn=lambda: time.monotonic() - start > seconds)
    return None if result is None else result["num_moves"]


def timed_velmora(board, seconds):
    start = time.monotonic()
    moves = run_velmora(board, seconds)
    return moves, time.monotonic() - start


def bench_rows(seconds):
    """plan() and velmora() on the benchmark boards and the shipped puzzles."""
    named = list(bench_boards(os.path.join(HERE, "boards.txt")))
    for name in ("demo", "medium", "hard"):
        with open(os.path.join(HERE, "..", "examples", "puzzles", name + ".json")) as f:
            named.append((name, json.load(f)["lanes"]))
    print(f"{'board':>8} {'status':>9} {'moves':>6} {'bound':>6} {'plan s':>7} {'velmora':>8}"
          f" {'velmora s':>10}")
    shorter = longer = 0
    for name, board in named:
        r = plan(board, time_limit=seconds, num_threads=2, log_fn=lambda line: None)
        v, v_secs = timed_velmora(board, seconds)
        if v is not None:
            shorter += r["num_moves"] < v
            longer += r["num_moves"] > v
        print(f"{name:>8} {r['status']:>9} {r['num_moves']:>6} {r['lower_bound']:>6}"
              f" {r['time']:>7.2f} {'-' if v is None else v:>8} {v_secs:>10.2f}", flush=True)
    print(f"benchmark boards: plan() shorter than velmora() on {shorter}, longer on {longer}"
          f" of {len(named)}")


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    rng = random.Random(seed)
    boards = [(lanes, slots, fill, packed_board(rng, lanes, slots, fill))
              for lanes, slots in SHAPES for fill in (0.6, 0.75)]
    boards += [(100, 8, 0.6, packed_board(rng, 100, 8, 0.6)),
               (100, 6, 0.75, packed_board(rng, 100, 6, 0.75))]
    print(f"{seconds:g} s a board, 2 workers, seed {seed}")
    print(f"{'board':>14} {'status':>9} {'first ms':>9} {'first':>6} {'moves':>6} {'bound':>6}"
          f" {'gap %':>6} {'velmora':>8}")
    firsts, rows = [], []
    for lanes, slots, fill, board in boards:
        r = plan(board, time_limit=seconds, num_threads=2, log_fn=lambda line: None)
        v = run_velmora(board, seconds)
        first_s, first_moves = r["plans"][0] if r["plans"] else (float("nan"), 0)
        gap = (r["num_moves"] - r["lower_bound"]) / r["lower_bound"] * 100 if r["lower_bound"] else 0.0
        firsts.append(first_s)
        rows.append((lanes, slots, r, gap, v))
        print(f"{lanes:>4}x{slots} {int(fill * 100):>3} % {r['status']:>9} {first_s * 1000:>9.2f}"
              f" {first_moves:>6} {r['num_moves']:>6} {r['lower_bound']:>6} {gap:>6.1f}"
              f" {'-' if v is None else v:>8}")
    print(f"plans on {sum(1 for _, _, r, _, _ in rows if r['plans'])}"
          f"/{len(rows)} boards; first plan median {statistics.median(firsts) * 1000:.2f} ms,"
          f" worst {max(firsts) * 1000:.2f} ms")
    small = [row for row in rows if row[0] * row[1] <= 12 * 6 and row[0] <= 12]
    large = [row for row in rows if row[0] >= 16]
    print(f"proven shortest up to 12 x 6: {sum(r['status'] == 'optimal' for _, _, r, _, _ in small)}"
          f"/{len(small)}; from 16 lanes: {sum(r['status'] == 'optimal' for _, _, r, _, _ in large)}"
          f"/{len(large)}")
    print(f"gap median from 16 lanes: {statistics.median(g for *_, g, _ in large):.1f} %")
    answered = [row for row in rows if row[4] is not None]
    longer = sum(1 for _, _, r, _, v in answered if r["num_moves"] > v)
    print(f"velmora() answered {len(answered)}/{len(rows)}; plan() longer than it on {longer}")
    print()
    bench_rows(seconds)


if __name__ == "__main__":
    main()
