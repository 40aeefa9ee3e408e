"""Finds benchmark boards: realistic boards (lanes filled to 55-80 % with
levels 1..5, a lane or two empty, items at the back) made by scrambling a
sorted board with random moves, solved at one thread under a node cap and
printed in the benchmark's board format with their figures, so that a
spread from thousands to millions of nodes can be picked.

usage: make_boards.py SEED COUNT NODE_CAP [tiebreak]
With "tiebreak" the boards are solved with use_dsg_tiebreak=True, which
solves many boards in a few dozen nodes: boards for that setting's rows."""

import random
import sys
import time

from velmora import velmora


def sorted_board(rng, lanes, slots, fill, empty_lanes):
    items = sorted(rng.randint(1, 5) for _ in range(int((lanes - empty_lanes) * slots * fill)))
    board = [[0] * slots for _ in range(lanes)]
    rng.shuffle(items)
    for v in items:
        lane = board[rng.randrange(empty_lanes, lanes)]
        if lane[0] == 0:
            lane[lane.count(0) - 1] = v
    for lane in board:
        vals = sorted(v for v in lane if v)
        lane[:] = [0] * (slots - len(vals)) + vals
    return board


def packed_board(rng, lanes, slots, fill):
    # Random levels 1..5 packed at the back of each lane, `fill` of the slots taken:
    # the boards of the plan() benchmark.
    board = [[0] * slots for _ in range(lanes)]
    for _ in range(int(lanes * slots * fill)):
        lane = rng.choice([lane for lane in board if lane[0] == 0])
        lane[lane.count(0) - 1] = rng.randint(1, 5)
    return board


def scramble(rng, board, moves):
    for _ in range(moves):
        src = rng.choice([i for i, lane in enumerate(board) if any(lane)])
        dsts = [i for i, lane in enumerate(board) if i != src and lane[0] == 0]
        if not dsts:
            continue
        dst = rng.choice(dsts)
        a = next(s for s, v in enumerate(board[src]) if v)
        item, board[src][a] = board[src][a], 0
        b = next((s for s, v in enumerate(board[dst]) if v), len(board[dst]))
        board[dst][b - 1] = item
    rng.shuffle(board)
    return board


def solve(board, cap, tiebreak):
    polls = [0]

    def stop():
        polls[0] += 1
        return polls[0] > cap // 1000

    t = time.perf_counter()
    r = velmora(board, log_fn=lambda s: None, stop_fn=stop, num_threads=1,
                use_dsg_tiebreak=tiebreak)
    return r, time.perf_counter() - t


def boards(seed, count, cap, tiebreak=False):
    """(name, board, result, seconds) of the boards among `count` tries that
    are solved within the node cap in at least one move."""
    rng = random.Random(seed)
    for n in range(count):
        lanes, slots = rng.randint(6, 12), rng.randint(4, 8)
        board = scramble(rng, sorted_board(rng, lanes, slots, rng.uniform(0.6, 0.85),
                                           rng.randint(1, 2)), rng.randint(40, 250))
        r, secs = solve(board, cap, tiebreak)
        if r is not None and r["num_moves"] > 0:
            yield f"s{seed}_{n}", board, r, secs


def main():
    seed, count, cap = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    for name, board, r, secs in boards(seed, count, cap, sys.argv[4:] == ["tiebreak"]):
        text = " / ".join(",".join(map(str, lane)) for lane in board)
        print(f"# {len(board)}x{len(board[0])} nodes={r['nodes_expanded']} "
              f"iters={r['iterations']} moves={r['num_moves']} secs={secs:.2f}\n{name}: {text}",
              flush=True)


if __name__ == "__main__":
    main()
