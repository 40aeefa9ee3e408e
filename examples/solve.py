#!/usr/bin/env python3.14
"""Solve a lane-sorting puzzle from the command line.

The board is a JSON file (or standard input): either {"lanes": [[...], ...]}
or a bare list of lanes, each a list of ints, slot 0 (the lane's front) first;
0 is an empty slot.

Exit codes: 0 solved, 1 no solution, 2 bad input, 3 stopped by the time
limit, 4 the module's answer failed the replay check, 130 interrupted (Ctrl-C).
"""

from __future__ import annotations

import argparse
import json
import re
import sys
import threading
import time
from collections.abc import Callable, Sequence
from typing import IO, TYPE_CHECKING

if TYPE_CHECKING:
    from velmora import Move, Result

EXIT_SOLVED = 0
EXIT_NO_SOLUTION = 1
EXIT_BAD_INPUT = 2
EXIT_STOPPED = 3
EXIT_BAD_ANSWER = 4
EXIT_INTERRUPTED = 130

MAX_VALUE = 255  # the module keeps one byte per cell
MAX_THREADS = 4096

Board = list[list[int]]


class BadInput(Exception):
    """The board or an option cannot be used; the message says why."""


class BadAnswer(Exception):
    """The module's moves do not replay on the board."""


# --- Board model --------------------------------------------------------------


def parse_board(data: object) -> Board:
    """Checks the decoded JSON and returns the lanes as lists of ints."""
    if isinstance(data, dict):
        if "lanes" not in data:
            raise BadInput('a board object needs a "lanes" key')
        data = data["lanes"]
    if not isinstance(data, list):
        raise BadInput(f"the lanes must be a list of lists of ints, not {type_name(data)}")
    board: Board = []
    for i, lane in enumerate(data):
        if not isinstance(lane, list):
            raise BadInput(f"lane {i} must be a list of ints, not {type_name(lane)}")
        for s, value in enumerate(lane):
            if isinstance(value, bool) or not isinstance(value, int):
                raise BadInput(f"lane {i}, slot {s}: {json.dumps(value)} is not an int")
            if not 0 <= value <= MAX_VALUE:
                raise BadInput(f"lane {i}, slot {s}: {value} is outside 0..{MAX_VALUE}")
        board.append(list(lane))
    return board


def count(n: int, noun: str) -> str:
    """'1 move', '2 moves'."""
    return f"{n:,} {noun}" if n == 1 else f"{n:,} {noun}s"


def type_name(value: object) -> str:
    names = {dict: "an object", list: "a list", str: "a string", bool: "a boolean",
             int: "a number", float: "a number", type(None): "null"}
    return names.get(type(value), type(value).__name__)


def front_slot(lane: Sequence[int]) -> int:
    """The lane's first occupied slot, or -1 when it holds no item."""
    return next((s for s, v in enumerate(lane) if v), -1)


def misplaced_slots(lane: Sequence[int]) -> set[int]:
    """Slots of the items of levels 1..5 that stand in front of the lane's
    ordered run: the longest stretch, ending at the back item, whose values
    never decrease from front to back."""
    slots = [s for s, v in enumerate(lane) if v]
    k = len(slots) - 1
    while k > 0 and lane[slots[k - 1]] <= lane[slots[k]]:
        k -= 1
    return {s for s in slots[:k] if 1 <= lane[s] <= 5}


def misplaced_count(board: Board) -> int:
    return sum(len(misplaced_slots(lane)) for lane in board)


def apply_move(board: Board, src: int, dst: int) -> tuple[int, int, int]:
    """Moves the front item of lane src in front of the items of lane dst
    (into its last slot when it holds none), in place. Returns (source slot,
    landing slot, item); raises BadAnswer when the move is impossible."""
    if not (0 <= src < len(board) and 0 <= dst < len(board)) or src == dst:
        raise BadAnswer(f"lanes {src} and {dst} do not make a move on this board")
    a = front_slot(board[src])
    if a < 0:
        raise BadAnswer(f"lane {src} holds no item")
    item = board[src][a]
    board[src][a] = 0
    b = front_slot(board[dst])
    if b == 0 or not board[dst]:
        board[src][a] = item
        raise BadAnswer(f"lane {dst} is full")
    d = b - 1 if b > 0 else len(board[dst]) - 1
    board[dst][d] = item
    return a, d, item


def replay(board: Board, result: Result) -> Board:
    """Replays the result's moves on a copy of the board, checks every move
    tuple against the replay, and returns the final board, which must hold no
    misplaced item. Raises BadAnswer otherwise."""
    board = [list(lane) for lane in board]
    if result["num_moves"] != len(result["moves"]):
        raise BadAnswer(f"num_moves is {result['num_moves']} but there are "
                        f"{len(result['moves'])} moves")
    for g, move in enumerate(result["moves"], start=1):
        src, src_slot, dst, dst_slot, item = move[:5]
        try:
            got = apply_move(board, src, dst)
        except BadAnswer as e:
            raise BadAnswer(f"move {g} (lane {src} → lane {dst}): {e}") from None
        if got != (src_slot, dst_slot, item) or move[5] != g:
            raise BadAnswer(f"move {g} says slot {src_slot} → slot {dst_slot}, item {item}, "
                            f"g={move[5]}; the replay gives slot {got[0]} → slot {got[1]}, "
                            f"item {got[2]}, g={g}")
    left = misplaced_count(board)
    if left:
        raise BadAnswer(f"after the moves {left} items are still misplaced")
    return board


# --- Text output ----------------------------------------------------------------


def draw_board(board: Board) -> list[str]:
    """One row per lane, slot 0 (the front) on the left; empty slots as '·',
    misplaced items in brackets, the count of misplaced items on the right."""
    width = max((len(str(v)) for lane in board for v in lane), default=1)
    capacity = max((len(lane) for lane in board), default=0)
    label = len(str(max(len(board) - 1, 0)))
    rows = []
    for i, lane in enumerate(board):
        bad = misplaced_slots(lane)
        cells = []
        for s in range(capacity):
            if s >= len(lane):
                cells.append(" " * (width + 2))
            elif lane[s] == 0:
                cells.append(" " + "·".rjust(width) + " ")
            elif s in bad:
                cells.append(f"[{lane[s]}]".rjust(width + 2))
            else:
                cells.append(" " + str(lane[s]).rjust(width) + " ")
        note = f"  {len(bad)} misplaced" if bad else ""
        rows.append(f"lane {i:>{label}} |{''.join(cells)}|{note}")
    return rows


def describe_move(move: Move) -> str:
    src, _, dst, _, item = move[:5]
    return f"lane {src} → lane {dst}: item {item}"


def print_board(title: str, board: Board, out: IO[str]) -> None:
    print(title, file=out)
    for row in draw_board(board):
        print("  " + row, file=out)


# --- Live progress ----------------------------------------------------------------

ITERATION_LINE = re.compile(r"^Iterasyon (\d+) \| esik=(\S+) \| (\d+) thread aciliyor$")
WORKER_LINE = re.compile(r"^Thread (\d+) acildi$")
PROGRESS_LINE = re.compile(r"^\[IDA\*\] iter=(\d+) \| thread_nodes=(\d+) \| esik=(\S+) "
                           r"\| min_h=(\S+) \| sure=(\S+)s$")


class Progress:
    """Turns the module's log lines into a one-line status: iteration, bound,
    nodes expanded, nodes per second, elapsed seconds.

    On a terminal the line is redrawn in place with '\\r'; otherwise one plain
    line is written per iteration and at most one per second of search time
    in between. Log lines arrive from the worker threads, so feed() locks.
    """

    def __init__(self, out: IO[str], tty: bool) -> None:
        self.out = out
        self.tty = tty
        self.lock = threading.Lock()
        self.iteration = 0
        self.bound = 0.0
        self.elapsed = 0.0
        self.worker_of: dict[int, int] = {}   # OS thread id -> worker index
        self.nodes_of: dict[int, int] = {}    # worker index (or thread id) -> its node count
        self.last_second = -1
        self.width = 0
        self.shown = False

    @property
    def nodes(self) -> int:
        return sum(self.nodes_of.values())

    def status(self) -> str:
        rate = self.nodes / self.elapsed if self.elapsed > 0 else 0.0
        return (f"iteration {self.iteration} | bound {self.bound:g} | {self.nodes:,} nodes"
                f" | {rate:,.0f} nodes/s | {self.elapsed:.1f} s")

    def feed(self, text: str, thread: int | None = None) -> None:
        """Takes one log line. `thread` identifies the calling OS thread:
        a worker's lines all come from its own thread, and its first line
        ("Thread N acildi") names its index, which keeps counts apart."""
        if thread is None:
            thread = threading.get_ident()
        line = text.rstrip("\n")
        with self.lock:
            if m := WORKER_LINE.match(line):
                self.worker_of[thread] = int(m[1])
            elif m := ITERATION_LINE.match(line):
                self.iteration, self.bound = int(m[1]), float(m[2])
                self.show(new_iteration=True)
            elif m := PROGRESS_LINE.match(line):
                worker = self.worker_of.get(thread, -1 - thread)
                self.nodes_of[worker] = max(self.nodes_of.get(worker, 0), int(m[2]))
                self.iteration, self.bound = int(m[1]), float(m[3])
                self.elapsed = max(self.elapsed, float(m[5]))
                self.show(new_iteration=False)

    def show(self, new_iteration: bool) -> None:
        text = self.status()
        if self.tty:
            self.out.write("\r" + text.ljust(self.width))
            self.width = len(text)
        elif new_iteration or int(self.elapsed) > self.last_second:
            self.out.write(text + "\n")
        else:
            return
        self.shown = True
        self.last_second = int(self.elapsed)
        self.out.flush()

    def finish(self, result: Result | None) -> None:
        with self.lock:
            if result is not None:
                self.nodes_of = {0: result["nodes_expanded"]}
                self.elapsed = result["time"]
                self.iteration = result["iterations"]
            if self.shown:
                start = "\r" if self.tty else ""
                self.out.write(start + self.status().ljust(self.width) + "\n")
                self.out.flush()
            self.width = 0
            self.shown = False


# --- Command line ----------------------------------------------------------------


def threads_arg(text: str) -> int:
    try:
        n = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if not 0 <= n <= MAX_THREADS:
        raise argparse.ArgumentTypeError(f"must be 0 (all cores) to {MAX_THREADS}, not {n}")
    return n


def seconds_arg(text: str) -> float:
    try:
        s = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
    if not s >= 0 or s == float("inf"):
        raise argparse.ArgumentTypeError(f"must be a finite number of seconds >= 0, not {text}")
    return s


def make_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="solve.py",
        description="Solve a lane-sorting puzzle with the velmora module.",
        epilog="Exit codes: 0 solved, 1 no solution, 2 bad input, 3 stopped by the time "
               "limit, 4 the answer failed the replay check, 130 interrupted.")
    parser.add_argument("board", nargs="?", default="-", metavar="FILE",
                        help='JSON board: {"lanes": [[...], ...]} or a bare list of lanes; '
                             '"-" or nothing reads standard input')
    parser.add_argument("--threads", type=threads_arg, default=8, metavar="N",
                        help="worker threads (default 8; 0 = as many as the machine has)")
    parser.add_argument("--tiebreak", action="store_true",
                        help="order successors of equal f by the deficit score")
    parser.add_argument("--time-limit", type=seconds_arg, metavar="SECONDS",
                        help="stop the search after this many seconds (exit code 3)")
    parser.add_argument("--quiet", action="store_true",
                        help="no progress display, and only the verdict line on stdout")
    parser.add_argument("--json", action="store_true",
                        help="print the result as one JSON object on stdout")
    return parser


def read_board(name: str, stdin: IO[str]) -> Board:
    try:
        if name == "-":
            text = stdin.read()
            where = "standard input"
        else:
            with open(name, encoding="utf-8") as f:
                text = f.read()
            where = name
    except (OSError, UnicodeDecodeError) as e:
        raise BadInput(f"cannot read {name}: {getattr(e, 'strerror', None) or e}") from None
    try:
        data = json.loads(text)
    except json.JSONDecodeError as e:
        raise BadInput(f"{where}: not JSON: {e.msg} (line {e.lineno}, column {e.colno})") from None
    except RecursionError:
        raise BadInput(f"{where}: JSON nested too deeply") from None
    try:
        return parse_board(data)
    except BadInput as e:
        raise BadInput(f"{where}: {e}") from None


def main(argv: Sequence[str] | None = None, solver: Callable[..., Result | None] | None = None,
         stdin: IO[str] | None = None, stdout: IO[str] | None = None,
         stderr: IO[str] | None = None) -> int:
    stdin = stdin or sys.stdin
    out = stdout or sys.stdout
    err = stderr or sys.stderr

    parser = make_parser()
    try:
        args = parser.parse_args(argv)
    except SystemExit as e:  # argparse has printed the usage and the error
        return EXIT_BAD_INPUT if e.code else EXIT_SOLVED

    def fail(code: int, message: str) -> int:
        print(f"solve.py: {message}", file=err)
        return code

    if args.board == "-" and stdin.isatty():
        return fail(EXIT_BAD_INPUT, "no board: give a JSON file, or pipe one into standard input")
    try:
        board = read_board(args.board, stdin)
    except BadInput as e:
        return fail(EXIT_BAD_INPUT, str(e))

    if solver is None:
        try:
            import velmora
        except ImportError as e:
            return fail(EXIT_BAD_INPUT, f"cannot import the velmora module ({e}); build it with "
                                        "./dev build and put build/ on PYTHONPATH, or pip install .")
        solver = velmora.velmora

    text_out = not args.json and not args.quiet
    if text_out:
        print_board(f"board: {count(len(board), 'lane')}, "
                    f"{count(misplaced_count(board), 'misplaced item')} "
                    "(front on the left, [n] = misplaced)", board, out)
        out.flush()

    progress = None if args.quiet else Progress(err, tty=err.isatty())
    deadline = None if args.time_limit is None else time.monotonic() + args.time_limit
    stopped = threading.Event()      # the time limit ran out
    interrupted = threading.Event()  # Ctrl-C hit one of our callables

    # The interpreter runs a Ctrl-C's handler on the main thread, which also
    # runs the module's calls of these two between iterations; a
    # KeyboardInterrupt raised in them would count as the callable failing,
    # so they note it and ask the search to stop instead.
    def log_fn(text: str) -> None:
        try:
            if progress:
                progress.feed(text)
        except KeyboardInterrupt:
            interrupted.set()

    def stop_fn() -> bool:
        try:
            if deadline is not None and time.monotonic() >= deadline:
                stopped.set()
        except KeyboardInterrupt:
            interrupted.set()
        return stopped.is_set() or interrupted.is_set()

    try:
        result = solver(board, log_fn=log_fn, stop_fn=stop_fn, use_dsg_tiebreak=args.tiebreak,
                        num_threads=args.threads)
    except (ValueError, TypeError) as e:
        if progress:
            progress.finish(None)
        return fail(EXIT_BAD_INPUT, f"the board was refused: {e}")
    except KeyboardInterrupt:
        interrupted.set()
        result = None
    if progress:
        progress.finish(result)
    if interrupted.is_set():
        return fail(EXIT_INTERRUPTED, "interrupted (Ctrl-C)")

    if result is None:
        status, code = ("stopped", EXIT_STOPPED) if stopped.is_set() else \
            ("no_solution", EXIT_NO_SOLUTION)
        if args.json:
            print(json.dumps({"status": status, "result": None, "board_after": None}), file=out)
        elif status == "stopped":
            print(f"stopped: no solution within the time limit of {args.time_limit:g} s", file=out)
        else:
            print("no solution: the search tried every sequence of moves it could reach", file=out)
        return code

    try:
        after = replay(board, result)
    except BadAnswer as e:
        return fail(EXIT_BAD_ANSWER, f"the module's solution does not check out: {e}")

    if args.json:
        print(json.dumps({"status": "solved", "result": result, "board_after": after}), file=out)
        return EXIT_SOLVED
    if text_out:
        print(f"\n{count(result['num_moves'], 'move')} "
              f"({count(result['nodes_expanded'], 'node')} expanded, "
              f"{count(result['iterations'], 'iteration')}, {result['time']:.3f} s):", file=out)
        digits = len(str(result["num_moves"]))
        for g, move in enumerate(result["moves"], start=1):
            print(f"  {g:>{digits}}. {describe_move(move)}", file=out)
        print(file=out)
        print_board("board after the moves:", after, out)
        print(file=out)
    print(f"solved in {count(result['num_moves'], 'move')}", file=out)
    return EXIT_SOLVED


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:  # Ctrl-C outside the search, e.g. while reading stdin
        print("solve.py: interrupted (Ctrl-C)", file=sys.stderr)
        sys.exit(EXIT_INTERRUPTED)
