"""The board as the command sees it: lanes of ints, the solver's limits, the
move rule, and the replay that checks an answer before it is shown."""

from __future__ import annotations

import json
from collections.abc import Sequence
from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    from velmora import Result

Board = list[list[int]]

MAX_VALUE = 255  # the module keeps one byte per cell
MAX_LEVEL = 5    # levels 1..5 are what the puzzle sorts
# The module's own limits. It refuses such boards too, but only after the
# command has read and drawn them: checked here, nothing big is ever built.
MAX_LANES = 100
MAX_CELLS = 2000   # lanes times the longest lane
MAX_ITEMS = 20     # items in one lane


class BadInput(Exception):
    """The board or an option cannot be used; the message says why."""


class BadAnswer(Exception):
    """The module's moves do not replay on the board."""


def count(n: int, noun: str) -> str:
    """'1 move', '2 moves'."""
    return f"{n:,} {noun}" if n == 1 else f"{n:,} {noun}s"


def type_name(value: object) -> str:
    names = {dict: "an object", list: "a list", str: "a string", bool: "a boolean",
             int: "a number", float: "a number", type(None): "null"}
    return names.get(type(value), type(value).__name__)


def check_size(lanes: int, longest: int) -> None:
    """Refuses a shape beyond the module's limits, from its figures alone."""
    if lanes > MAX_LANES:
        raise BadInput(f"{lanes:,} lanes; the solver takes at most {MAX_LANES}")
    if lanes * longest > MAX_CELLS:
        raise BadInput(f"{lanes:,} lanes of up to {longest:,} slots make {lanes * longest:,} "
                       f"cells; the solver takes at most {MAX_CELLS:,}")


def check_items(lane: int, items: int) -> None:
    if items > MAX_ITEMS:
        raise BadInput(f"lane {lane} holds {items:,} items; the solver takes at most "
                       f"{MAX_ITEMS} in a lane")


def parse_board(data: object) -> Board:
    """Checks the decoded JSON and returns the lanes as lists of ints."""
    if isinstance(data, dict):
        if "lanes" not in data:
            raise BadInput('a board object needs a "lanes" key')
        data = data["lanes"]
    if not isinstance(data, list):
        raise BadInput(f"the lanes must be a list of lists of ints, not {type_name(data)}")
    check_size(len(data), 0)
    board: Board = []
    for i, lane in enumerate(data):
        if not isinstance(lane, list):
            raise BadInput(f"lane {i} must be a list of ints, not {type_name(lane)}")
        for s, value in enumerate(lane):
            if isinstance(value, bool) or not isinstance(value, int):
                raise BadInput(f"lane {i}, slot {s}: {json.dumps(value)[:40]} is not an int")
            if not 0 <= value <= MAX_VALUE:
                shown = str(value) if len(str(value)) <= 20 else str(value)[:20] + "..."
                raise BadInput(f"lane {i}, slot {s}: {shown} is outside 0..{MAX_VALUE}")
        check_items(i, sum(1 for v in lane if v))
        board.append(list(lane))
    check_size(len(board), max(map(len, board), default=0))
    return board


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
    return {s for s in slots[:k] if 1 <= lane[s] <= MAX_LEVEL}


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


def replay(board: Board, result: Result | dict[str, Any]) -> Board:
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
