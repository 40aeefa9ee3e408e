#!/usr/bin/env python3.14
"""Solve a lane-sorting puzzle from the command line.

The board is a JSON file (or standard input): either {"lanes": [[...], ...]}
or a bare list of lanes, each a list of ints, slot 0 (the lane's front) first;
0 is an empty slot. With --bay it is a plain-text bay file instead (Tiers:,
Stacks:, Containers:, then "Stack i: v v v" bottom first). --svg FILE writes
a picture of the solution: one self-contained SVG that animates the moves.

Exit codes: 0 solved, 1 no solution, 2 bad input, 3 stopped by the time
limit, 4 the module's answer failed the replay check, 130 interrupted (Ctrl-C).
"""

from __future__ import annotations

import argparse
import json
import math
import os
import re
import sys
import threading
import time
import xml.etree.ElementTree as ET
from collections.abc import Callable, Sequence
from typing import IO, TYPE_CHECKING

import log_lines  # beside this file: the shapes of the module's log lines

if TYPE_CHECKING:
    from velmora import Move, Result

EXIT_SOLVED = 0
EXIT_NO_SOLUTION = 1
EXIT_BAD_INPUT = 2
EXIT_STOPPED = 3
EXIT_BAD_ANSWER = 4
EXIT_INTERRUPTED = 130

MAX_VALUE = 255  # the module keeps one byte per cell
MAX_LEVEL = 5    # levels 1..5 are what the puzzle sorts
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


WHOLE = re.compile(r"[0-9]+")
BAY_STACK = re.compile(r"Stack\s+(\S+?)\s*:(.*)", re.IGNORECASE)
BAY_HEADER = re.compile(r"(Name|Description|Tiers|Stacks|Containers)\s*:(.*)", re.IGNORECASE)


def parse_bay(text: str) -> tuple[Board, dict[str, str]]:
    """Reads a bay in the plain-text format of the public pre-marshalling
    instance sets: header lines Name:, Description:, Tiers: N, Stacks: M,
    Containers: C, then one line "Stack i: v v v" per stack, values bottom
    first. Each stack becomes a lane of N slots, top first (slot 0 = the
    top), and value v level v + 1. Returns the lanes and the header texts;
    raises BadInput naming the line."""
    headers: dict[str, tuple[int, str]] = {}  # key -> (line number, text)
    stacks: list[tuple[int, list[int]]] = []  # (line number, values bottom first)
    first_number = 1
    for n, raw in enumerate(text.splitlines(), start=1):
        line = raw.strip()
        if not line:
            continue
        if m := BAY_STACK.fullmatch(line):
            if not WHOLE.fullmatch(m[1]):
                raise BadInput(f"line {n}: {m[1]!r} is not a stack number")
            if not stacks:
                first_number = min(int(m[1]), 1)  # stacks counted from 1, or from 0
            if int(m[1]) != first_number + len(stacks):
                raise BadInput(f"line {n}: stack {m[1]} where stack "
                               f"{first_number + len(stacks)} was expected")
            values = []
            for word in m[2].split():
                if not WHOLE.fullmatch(word):
                    raise BadInput(f"line {n}: {word!r} is not a value (a whole number >= 0)")
                if int(word) + 1 > MAX_LEVEL:
                    raise BadInput(f"line {n}: value {word} would be level {int(word) + 1}; "
                                   f"levels go up to {MAX_LEVEL} (values 0 to {MAX_LEVEL - 1})")
                values.append(int(word))
            stacks.append((n, values))
        elif m := BAY_HEADER.fullmatch(line):
            key = m[1].capitalize()
            if key in headers:
                raise BadInput(f"line {n}: a second {key}: line (the first is line "
                               f"{headers[key][0]})")
            headers[key] = (n, m[2].strip())
        else:
            raise BadInput(f"line {n}: not a bay line: {line[:60]!r} (expected Name:, "
                           "Description:, Tiers:, Stacks:, Containers: or Stack i:)")

    def number(key: str, least: int) -> int:
        if key not in headers:
            raise BadInput(f"no {key}: line")
        n, value = headers[key]
        if not WHOLE.fullmatch(value) or int(value) < least:
            raise BadInput(f"line {n}: {key}: needs a whole number >= {least}, not {value!r}")
        return int(value)

    tiers, stack_count = number("Tiers", 1), number("Stacks", 0)
    containers = number("Containers", 0)
    if stack_count != len(stacks):
        raise BadInput(f"line {headers['Stacks'][0]}: Stacks: {stack_count}, but "
                       f"{count(len(stacks), 'stack line')} follow")
    held = sum(len(values) for _, values in stacks)
    if containers != held:
        raise BadInput(f"line {headers['Containers'][0]}: Containers: {containers}, but the "
                       f"stacks hold {count(held, 'value')}")
    board: Board = []
    for n, values in stacks:
        if len(values) > tiers:
            raise BadInput(f"line {n}: {count(len(values), 'value')} in a stack, "
                           f"more than Tiers: {tiers}")
        board.append([0] * (tiers - len(values)) + [v + 1 for v in reversed(values)])
    return board, {key: value for key, (_, value) in headers.items()}


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


# --- SVG picture ----------------------------------------------------------------

LEVEL_FILL = {1: "#fde2a7", 2: "#c8e6c0", 3: "#bcd6ee", 4: "#dacbee", 5: "#f5c4c4"}
OTHER_FILL = "#e4e4e4"         # values above the levels
MISPLACED_INK = "#c0392b"
PITCH = 36                     # height of one lane row
LABEL_W = 56                   # "lane 12"
HEAD_H = 92                    # title, summary, legend
GAP_H = 24                     # between boards laid out in rows
BEFORE_S, MOVE_S, HOLD_S = 1.5, 1.0, 0.6  # seconds: board before, one move, board after it


def el(parent: ET.Element, tag: str, text: str | None = None, **attrs: object) -> ET.Element:
    """A child element; attribute names take "-" for "_" (font_size -> font-size,
    class_ -> class)."""
    node = ET.SubElement(parent, tag, {k.rstrip("_").replace("_", "-"): str(v)
                                       for k, v in attrs.items()})
    node.text = text
    return node


def seconds(t: float) -> str:
    return f"{t:.6g}s"


class Picture:
    """Draws boards of one shape: lanes as rows, slot 0 (the front) on the
    left as in the text picture, and a gap before the front along which a
    moving item travels from lane to lane."""

    def __init__(self, board: Board) -> None:
        digits = max((len(str(v)) for lane in board for v in lane), default=1)
        self.cell = max(30, 8 * digits + 22)  # room for "[n]"
        self.shape = [len(lane) for lane in board]
        self.front = LABEL_W + self.cell + 12  # x of slot 0
        self.width = self.front + max(self.shape, default=0) * self.cell + 100
        self.height = len(board) * PITCH + 30  # the rows and a step caption under them

    def at(self, lane: int, slot: int) -> tuple[int, int]:
        """Where an item in this slot is drawn; slot -1 is the travel gap."""
        return self.front + slot * self.cell if slot >= 0 else LABEL_W + 6, lane * PITCH

    def grid(self, parent: ET.Element) -> None:
        g = el(parent, "g", class_="grid")
        for lane, length in enumerate(self.shape):
            el(g, "text", f"lane {lane}", x=LABEL_W - 6, y=lane * PITCH + PITCH // 2 + 5,
               text_anchor="end", fill="#555")
            for slot in range(length):
                x, y = self.at(lane, slot)
                el(g, "rect", x=x + 1, y=y + 3, width=self.cell - 2, height=PITCH - 6,
                   fill="#f7f7f7", stroke="#d5d5d5")

    def item(self, parent: ET.Element, lane: int, slot: int, value: int, misplaced: bool,
             moved: bool = False) -> ET.Element:
        x, y = self.at(lane, slot)
        g = el(parent, "g", class_="item misplaced" if misplaced else "item",
               transform=f"translate({x},{y})", data_lane=lane, data_slot=slot)
        ink = MISPLACED_INK if misplaced else "#222" if moved else "#777"
        el(g, "rect", x=3, y=5, width=self.cell - 6, height=PITCH - 10, rx=4,
           fill=LEVEL_FILL.get(value, OTHER_FILL), stroke=ink,
           stroke_width=2.5 if misplaced or moved else 1)
        el(g, "text", f"[{value}]" if misplaced else str(value), x=self.cell // 2,
           y=PITCH // 2 + 5, text_anchor="middle", fill=ink if misplaced else "#222",
           font_weight="bold" if misplaced else "normal")
        return g

    def board(self, parent: ET.Element, board: Board, caption: str,
              moved: tuple[int, int] | None = None, skip: tuple[int, int] | None = None) -> None:
        """The items of a board (but the one in `skip`), each lane's count of
        misplaced items on its right, and the caption under the rows."""
        for lane, values in enumerate(board):
            bad = misplaced_slots(values)
            for slot, value in enumerate(values):
                if value and (lane, slot) != skip:
                    self.item(parent, lane, slot, value, slot in bad, (lane, slot) == moved)
            if bad:
                el(parent, "text", f"{len(bad)} misplaced", x=self.width - 92,
                   y=lane * PITCH + PITCH // 2 + 5, fill=MISPLACED_INK, font_size=12)
        el(parent, "text", caption, class_="step", x=8, y=self.height - 6, font_size=13)


def visible_during(group: ET.Element, begin: float, dur: float | None) -> None:
    """Hidden but from `begin` for `dur` seconds (for good when dur is None)."""
    group.set("visibility", "hidden")
    if dur is None:
        el(group, "set", attributeName="visibility", to="visible", begin=seconds(begin),
           fill="freeze")
    else:
        el(group, "set", attributeName="visibility", to="visible", begin=seconds(begin),
           dur=seconds(dur))


def render_svg(board: Board, result: Result | None, title: str, summary: str,
               still: bool = False) -> str:
    """One self-contained SVG of a run: the board before, then each move (the
    item travelling out of its lane's front, along the gap and into the other
    lane), ending on the board after the last move. `still` lays every board
    out side by side instead, for print. Misplaced items are bracketed and
    outlined as in the text picture; the title and `summary` head it."""
    pic = Picture(board)
    moves = result["moves"] if result else []
    frames = [[list(lane) for lane in board]]
    for move in moves:
        frames.append([list(lane) for lane in frames[-1]])
        apply_move(frames[-1], move[0], move[2])

    def caption(k: int) -> str:
        if k == 0:
            return f"before: {count(misplaced_count(board), 'misplaced item')}"
        done = " · solved" if k == len(moves) and misplaced_count(frames[k]) == 0 else ""
        return f"{k}. {describe_move(moves[k - 1])}{done}"

    def move_caption(k: int) -> str:
        return f"move {k} of {len(moves)}: {describe_move(moves[k - 1])}"

    # Room for the longest caption (monospace, 13 px: under 8 px a character).
    steps = [*map(caption, range(len(frames))), *map(move_caption, range(1, len(frames)))]
    pic.width = max(pic.width, 8 * max(map(len, steps)) + 16)
    columns = max(1, min(len(frames), 1100 // pic.width)) if still else 1
    rows = math.ceil(len(frames) / columns) if still else 1
    width = max(pic.width * columns + 20, 8 * max(len(summary), len(title) + 4, 56) + 32)
    height = HEAD_H + (pic.height + GAP_H) * rows - GAP_H + 10
    svg = ET.Element("svg", {"xmlns": "http://www.w3.org/2000/svg", "width": str(width),
                             "height": str(height), "viewBox": f"0 0 {width} {height}",
                             "font-family": "monospace", "font-size": "14"})
    el(svg, "title", f"{title}: {summary}")
    el(svg, "rect", width=width, height=height, fill="white")
    el(svg, "text", title, x=16, y=24, font_size=16, font_weight="bold", font_family="sans-serif")
    el(svg, "text", summary, class_="caption", x=16, y=46, font_family="sans-serif")
    el(svg, "text", "a lane per row, its front on the left; [n] = misplaced", x=16, y=66,
       font_size=12, fill="#666", font_family="sans-serif")

    def panel(k: int) -> ET.Element:
        x, y = (k % columns) * pic.width + 10, HEAD_H + (k // columns) * (pic.height + GAP_H)
        g = el(svg, "g", transform=f"translate({x},{y})")
        el(g, "text", "front", x=pic.front + 2, y=-6, font_size=11, fill="#888")
        pic.grid(g)
        return g

    last = len(moves)
    stage = panel(0)
    for k, frame in enumerate(frames):
        if still:
            frame_g = el(stage if k == 0 else panel(k), "g", class_="frame", data_step=k)
        elif k == 0:
            frame_g = el(stage, "g", class_="frame", data_step=k)
            if last:
                el(frame_g, "set", attributeName="visibility", to="hidden",
                   begin=seconds(BEFORE_S), fill="freeze")
        else:
            # The board before the move without the moving item, and the item
            # on its way out of the front, along the gap and into its lane.
            src, src_slot, dst, dst_slot, item = moves[k - 1][:5]
            begin = BEFORE_S + (k - 1) * (MOVE_S + HOLD_S)
            move_g = el(stage, "g", class_="move", data_step=k, data_src=src, data_dst=dst)
            visible_during(move_g, begin, MOVE_S)
            pic.board(move_g, frames[k - 1], move_caption(k), skip=(src, src_slot))
            path = [pic.at(src, src_slot), pic.at(src, -1), pic.at(dst, -1), pic.at(dst, dst_slot)]
            lengths = [math.dist(a, b) for a, b in zip(path, path[1:])]
            ends = [sum(lengths[:i]) / sum(lengths) for i in range(len(path))]
            traveller = pic.item(move_g, src, src_slot, item, False, moved=True)
            el(traveller, "animateTransform", attributeName="transform", type="translate",
               values=";".join(f"{x},{y}" for x, y in path),
               keyTimes=";".join(f"{t:.4f}" for t in ends), begin=seconds(begin),
               dur=seconds(MOVE_S), fill="freeze")
            frame_g = el(stage, "g", class_="frame", data_step=k)
            visible_during(frame_g, begin + MOVE_S, HOLD_S if k < last else None)
        landed = (moves[k - 1][2], moves[k - 1][3]) if k else None
        pic.board(frame_g, frame, caption(k), moved=landed)
    ET.indent(svg, space=" ")
    return ET.tostring(svg, encoding="unicode") + "\n"


# --- Live progress ----------------------------------------------------------------



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
        line = text if text.endswith("\n") else text + "\n"
        with self.lock:
            if m := log_lines.WORKER_OPENED.fullmatch(line):
                self.worker_of[thread] = int(m[1])
            elif m := log_lines.ITERATION.fullmatch(line):
                self.iteration, self.bound = int(m[1]), float(m[2])
                self.show(new_iteration=True)
            elif m := log_lines.PROGRESS.fullmatch(line):
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
    parser.add_argument("--bay", metavar="FILE",
                        help="read the board from a plain-text bay file instead (Tiers:, "
                             "Stacks:, Containers:, then 'Stack i: v v v' bottom first; "
                             "value v is level v + 1); '-' reads standard input")
    parser.add_argument("--svg", metavar="FILE",
                        help="write a picture of the run: one SVG that shows the board "
                             "before and animates the moves")
    parser.add_argument("--still", action="store_true",
                        help="with --svg: every board side by side, no animation (for print)")
    return parser


def read_text(name: str, stdin: IO[str]) -> tuple[str, str]:
    """The text of a file, or of standard input for '-', and how to name it."""
    try:
        if name == "-":
            return stdin.read(), "standard input"
        with open(name, encoding="utf-8-sig") as f:
            return f.read(), name
    except (OSError, UnicodeDecodeError) as e:
        raise BadInput(f"cannot read {name}: {getattr(e, 'strerror', None) or e}") from None


def read_bay(name: str, stdin: IO[str]) -> tuple[Board, dict[str, str]]:
    text, where = read_text(name, stdin)
    try:
        return parse_bay(text)
    except BadInput as e:
        raise BadInput(f"{where}: {e}") from None


def read_board(name: str, stdin: IO[str]) -> Board:
    text, where = read_text(name, stdin)
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

    source = args.board if args.bay is None else args.bay
    if args.bay is not None and args.board != "-":
        return fail(EXIT_BAD_INPUT, "give either a JSON board or --bay FILE, not both")
    if args.still and args.svg is None:
        return fail(EXIT_BAD_INPUT, "--still needs --svg FILE")
    if args.svg is not None and not os.path.isdir(os.path.dirname(args.svg) or "."):
        return fail(EXIT_BAD_INPUT, f"cannot write {args.svg}: no such folder")
    if source == "-" and stdin.isatty():
        return fail(EXIT_BAD_INPUT, "no board: give a JSON file, or pipe one into standard input")
    headers: dict[str, str] = {}
    try:
        if args.bay is None:
            board = read_board(source, stdin)
        else:
            board, headers = read_bay(source, stdin)
    except BadInput as e:
        return fail(EXIT_BAD_INPUT, str(e))
    title = headers.get("Name") or ("standard input" if source == "-" else
                                    os.path.basename(source))

    def picture(summary: str, result: Result | None = None) -> int | None:
        """Writes the --svg file, if asked; an exit code when it cannot."""
        if args.svg is None:
            return None
        try:
            with open(args.svg, "w", encoding="utf-8") as f:
                f.write(render_svg(board, result, title, summary, still=args.still))
        except OSError as e:
            return fail(EXIT_BAD_INPUT, f"cannot write {args.svg}: {e.strerror or e}")
        return None

    if solver is None:
        try:
            import velmora
        except ImportError as e:
            return fail(EXIT_BAD_INPUT, f"cannot import the velmora module ({e}); build it with "
                                        "./dev build and put build/ on PYTHONPATH, or pip install .")
        solver = velmora.velmora

    text_out = not args.json and not args.quiet
    if text_out:
        if headers:
            print(" · ".join(headers[k] for k in ("Name", "Description") if headers.get(k)),
                  file=out)
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
        if status == "stopped":
            verdict = f"stopped: no solution within the time limit of {args.time_limit:g} s"
        else:
            verdict = "no solution: the search tried every sequence of moves it could reach"
        if args.json:
            print(json.dumps({"status": status, "result": None, "board_after": None}), file=out)
        else:
            print(verdict, file=out)
        return picture(verdict) or code

    try:
        after = replay(board, result)
    except BadAnswer as e:
        return fail(EXIT_BAD_ANSWER, f"the module's solution does not check out: {e}")
    written = picture(f"{count(result['num_moves'], 'move')} · "
                      f"{count(result['nodes_expanded'], 'node')} expanded · "
                      f"{count(result['iterations'], 'iteration')} · {result['time']:.3f} s",
                      result)
    if written is not None:
        return written

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
