"""A short run of benchmark boards through the Python module, at one thread
and at the default thread count, then the shipped puzzles at one thread,
with throughput figures; then wide boards: how long a stop takes there, and
the peak resident memory of a deep run."""

import json
import os
import random
import resource
import subprocess
import sys
import time

from velmora import velmora


def boards(path):
    with open(path) as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                name, lanes = line.split(":", 1)
                yield name, [[int(v) for v in lane.split(",")] for lane in lanes.split("/")]


def main():
    picked = list(boards(sys.argv[1]))[:4]
    for name, lanes in picked:
        for threads in (1, 8):
            start = time.perf_counter()
            r = velmora(lanes, log_fn=lambda s: None, num_threads=threads)
            secs = time.perf_counter() - start
            print(f"{name:6} threads={threads} nodes={r['nodes_expanded']:>9} "
                  f"moves={r['num_moves']:>3} secs={secs:6.3f} "
                  f"nodes/s={r['nodes_expanded'] / secs:>10.0f}", flush=True)
    puzzles = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "puzzles")
    for name in ("demo", "medium", "hard"):
        with open(os.path.join(puzzles, name + ".json")) as f:
            lanes = json.load(f)["lanes"]
        start = time.perf_counter()
        r = velmora(lanes, log_fn=lambda s: None, num_threads=1)
        secs = time.perf_counter() - start
        print(f"{name:6} threads=1 nodes={r['nodes_expanded']:>9} moves={r['num_moves']:>3} "
              f"secs={secs:6.2f} nodes/s={r['nodes_expanded'] / secs:>10.0f}", flush=True)


def wide_board(lanes, seed):
    """`lanes` lanes of 20 slots, each with 19 random levels at the back."""
    rng = random.Random(seed)
    return [[0] + [rng.randint(1, 5) for _ in range(19)] for _ in range(lanes)]


def stairs():
    """60 lanes of [5, 4, 3, 2, 1] among 100 of 20 slots: solved in 240 moves,
    each node with a thousand or more children within the bound."""
    return [[0] * 15 + [5, 4, 3, 2, 1] for _ in range(60)] + [[0] * 20 for _ in range(40)]


def stop_latency():
    """Milliseconds from a stop request (a deadline 0.3, 0.4 and 0.5 s into
    the run) to the return of the call."""
    for lanes in (60, 100):
        board = wide_board(lanes, lanes)
        for threads in (1, 2, 8):
            late = []
            for delay in (0.3, 0.4, 0.5):
                deadline = time.monotonic() + delay
                r = velmora(board, log_fn=lambda s: None, num_threads=threads,
                            stop_fn=lambda: time.monotonic() >= deadline)
                late.append(f"{1000 * (time.monotonic() - deadline):5.1f}" if r is None else "solved")
            print(f"stop   {lanes:3}x20 threads={threads} ms after the request: {' '.join(late)} "
                  f"(target 100)", flush=True)


def peak_memory(threads):
    """Solves the stairs in this process and prints its peak resident memory."""
    r = velmora(stairs(), log_fn=lambda s: None, num_threads=threads)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(f"memory 100x20 stairs threads={threads} moves={r['num_moves']} "
          f"peak={peak:5.1f} MiB (target at 8: under 64)", flush=True)


if __name__ == "__main__":
    if sys.argv[1] == "--peak":
        peak_memory(int(sys.argv[2]))
        sys.exit()
    main()
    stop_latency()
    for threads in (1, 8):  # each in a fresh process: the peak is the process's
        subprocess.run([sys.executable, __file__, "--peak", str(threads)], check=True)
