"""A short run of benchmark boards through the Python module, at one thread
and at the default thread count, then the shipped puzzles at one thread,
with throughput figures."""

import json
import os
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


if __name__ == "__main__":
    main()
