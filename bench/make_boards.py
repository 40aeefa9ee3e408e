"""Finds benchmark boards: random realistic boards of the given shapes,
solved at one thread under a node cap, printed with their figures so a
spread from thousands to millions of nodes can be picked by hand."""

import random
import sys
import time

from velmora import velmora


def random_board(rng, lanes, slots, fill, empty_lanes):
    items = [rng.randint(1, 5) for _ in range(int(lanes * slots * fill))]
    board = []
    for i in range(lanes):
        if i < empty_lanes:
            board.append([0] * slots)
            continue
        take = min(len(items), rng.randint(slots // 2, slots)) if i < lanes - 1 else min(len(items), slots)
        lane, items = items[:take], items[take:]
        board.append([0] * (slots - len(lane)) + lane)
    rng.shuffle(board)
    return board


def solve(board, cap):
    polls = [0]

    def stop():
        polls[0] += 1
        return polls[0] > cap // 1000

    t = time.perf_counter()
    r = velmora(board, log_fn=lambda s: None, stop_fn=stop, num_threads=1)
    return r, time.perf_counter() - t


def main():
    seed, count, cap = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(seed)
    for _ in range(count):
        lanes = rng.randint(6, 12)
        slots = rng.randint(4, 8)
        board = random_board(rng, lanes, slots, rng.uniform(0.55, 0.8), rng.randint(1, 2))
        r, secs = solve(board, cap)
        nodes = r["nodes_expanded"] if r else -1
        print(f"{lanes}x{slots} nodes={nodes} moves={r['num_moves'] if r else '-'} "
              f"secs={secs:.2f} board={board}", flush=True)


if __name__ == "__main__":
    main()
