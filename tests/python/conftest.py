# Shared helpers: boards, a Python model of the moves, a judge of one call, solve.py runners.

import io
import json
import os
import subprocess
import sys
import textwrap
from pathlib import Path

import velmora as velmora_module
from velmora_cli import log_lines as shape  # the shapes of the log lines
from velmora_cli.cli import solve_script

REPO = Path(__file__).resolve().parents[2]
SOLVE = REPO / "examples" / "solve.py"
PUZZLES = REPO / "examples" / "puzzles"
MODULE_DIR = Path(velmora_module.__file__).parent
ENV = dict(os.environ, PYTHONPATH=str(MODULE_DIR), LANG="C.UTF-8")

LONG = [[0, 0, 0, 2, 4], [0, 5, 1, 5, 3], [4, 2, 1, 3, 1]]  # only a stop ends it
ONE_MOVE = [[0, 3, 1], [0, 0, 2], [0, 0, 0]]
TRAP = [[0, 0, 0], [0, 0, 1], [2, 1, 2], [5, 4, 5]]  # solved from iteration 2 on
THREE_ITERATIONS = [[0, 5, 5, 3], [0, 3, 1, 4], [0, 0, 3, 2], [0, 4, 1, 1], [0, 0, 5, 4],
                    [0, 1, 2, 2]]
FIVE_LANES = [[3, 4, 4, 1], [0, 5, 2, 2], [0, 0, 1, 1], [0, 0, 0, 3], [0, 0, 5, 2]]
EXHAUSTED = [[1, 3, 2], [0]]  # one move there and back: the tree ends
NO_MOVE = [[2, 1]]
STOP_BEFORE = shape.STOPPED_BETWEEN
STOP_INSIDE = shape.STOPPED_IN_SEARCH


def low8(board):
    return [[v & 0xFF for v in lane] for lane in board]


def front_slot(lane):
    return next((s for s, v in enumerate(lane) if v), -1)


def misplaced_levels(lane):
    # Items of levels 1..5 in front of the longest never-decreasing run at the back.
    items = [v for v in lane if v]
    k = len(items) - 1
    while k > 0 and items[k - 1] <= items[k]:
        k -= 1
    return sum(1 for v in items[:k] if 1 <= v <= 5)


def blokaj(board):
    return sum(misplaced_levels(lane) for lane in board)


def apply(board, src, dst):  # the front item of src in front of dst's items
    board = [list(lane) for lane in board]
    a = front_slot(board[src])
    assert a >= 0, f"lane {src} has no item"
    item, board[src][a] = board[src][a], 0
    b = front_slot(board[dst])
    assert b != 0 and board[dst], f"lane {dst} is full"
    d = b - 1 if b > 0 else len(board[dst]) - 1
    board[dst][d] = item
    return board, a, d, item


def replay(lanes, result):  # checks every field of every move; returns the board after
    board = low8(lanes)
    assert result["num_moves"] == len(result["moves"])
    for g, move in enumerate(result["moves"], start=1):
        src, src_slot, dst, dst_slot, item, mg, h, f, aux = move
        board, a, d, moved = apply(board, src, dst)
        assert (src_slot, dst_slot, item, mg, aux) == (a, d, moved, g, 0.0)
        assert f == mg + h and h >= 0
        assert h == result["h_values"][g] and f == result["f_values"][g]
    assert result["g_values"] == list(range(result["num_moves"] + 1))
    return board


def random_board(rng, lanes, slots, empty):
    # `empty` of the slots empty, the others items 1 to 5 in random order, at the back of their lanes.
    cells = [0] * empty + [rng.randint(1, 5) for _ in range(lanes * slots - empty)]
    rng.shuffle(cells)
    items = [[v for v in cells[i * slots:(i + 1) * slots] if v] for i in range(lanes)]
    return [[0] * (slots - len(lane)) + lane for lane in items]


def moves_from(board):
    sources = [i for i, lane in enumerate(board) if front_slot(lane) >= 0]
    targets = [i for i, lane in enumerate(board) if lane and front_slot(lane) != 0]
    return [(s, d) for s in sources for d in targets if s != d]


def reachable(lanes, limit=300_000):
    # (a solved position is reachable, positions seen) over every move sequence, by the
    # Python model alone; None beyond `limit` positions.
    start = tuple(map(tuple, low8(lanes)))
    seen, todo = {start}, [start]
    while todo:
        board = todo.pop()
        if blokaj(board) == 0:
            return True, len(seen)
        for child in (tuple(map(tuple, apply(board, s, d)[0])) for s, d in moves_from(board)):
            if child not in seen:
                if len(seen) >= limit:
                    return None
                seen.add(child)
                todo.append(child)
    return False, len(seen)


def check_outcome(lanes, result, lines, stop_said_yes=False):
    # Asserts a correct ending of a call on `lanes` and returns its kind.
    assert lines and shape.STARTED.fullmatch(lines[0]), lines[:1]
    if result is not None:
        assert blokaj(replay(lanes, result)) == 0
        assert result["iterations"] > 0 or (result["num_moves"], len(lines)) == (0, 1)
        solved = shape.SOLVED.fullmatch(lines[-1])
        assert result["iterations"] == 0 or (
            solved and (int(solved[1]), int(solved[2])) == (result["num_moves"], result["iterations"]))
        return "solved"
    if lines[-1] in (STOP_BEFORE, STOP_INSIDE):
        assert stop_said_yes, "stopped unasked"
        return "stopped"
    if lines[-1] == shape.NO_MOVE:
        assert moves_from(low8(lanes)) == [] and blokaj(low8(lanes)) > 0
        return "no move"
    assert shape.EXHAUSTED.fullmatch(lines[-1]), lines[-1]
    # Every position the search's moves (never undoing the last) reach is reachable.
    assert (reachable(lanes) or [None])[0] is False, "exhausted claimed, but a goal is reachable"
    return "exhausted"


def run_python(code, *args):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code), *args], text=True,
                          capture_output=True, timeout=60, env={"PYTHONPATH": ":".join(sys.path)})


def run_cli(*args, input=""):
    return subprocess.run([sys.executable, str(SOLVE), *map(str, args)], input=input,
                          capture_output=True, text=True, env=ENV, timeout=300)


def run_main(*args, text=json.dumps(ONE_MOVE), solver=None, err=None):
    # solve.py's main here on `text` as standard input; by default the boards handed
    # to the solver are kept and no search runs. (exit code, boards, stdout, stderr)
    boards, out, err = [], io.StringIO(), err or io.StringIO()
    code = solve_script(list(args), solver=solver or (lambda lanes, **_: boards.append(lanes)),
                        stdin=io.StringIO(text), stdout=out, stderr=err)
    return code, boards, out.getvalue(), err.getvalue()
