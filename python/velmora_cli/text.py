"""Text for people: the board as rows of cells, moves in words, and text from
files made safe to show on a terminal or in a picture."""

from __future__ import annotations

import unicodedata
from typing import IO, TYPE_CHECKING

from .board import Board, misplaced_slots

if TYPE_CHECKING:
    from velmora import Move

# Control characters (terminal escapes, and what XML cannot hold), format
# characters (bidirectional overrides) and lone surrogates (undecodable
# bytes of a file name): shown as escapes, never written as they are.
UNSAFE = {"Cc", "Cf", "Cs"}


def printable(text: str) -> str:
    """`text` with every unsafe character written as a Python escape."""
    if text.isprintable():
        return text
    return "".join(ch.encode("unicode_escape", "backslashreplace").decode("ascii")
                   if unicodedata.category(ch) in UNSAFE else ch for ch in text)


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


def describe_move(move: Move | list[int]) -> str:
    src, _, dst, _, item = move[:5]
    return f"lane {src} → lane {dst}: item {item}"


def print_board(title: str, board: Board, out: IO[str]) -> None:
    print(title, file=out)
    for row in draw_board(board):
        print("  " + row, file=out)


class Plain:
    """A text stream for an encoding that lacks the pictures' '·' and '→'
    (PYTHONIOENCODING=ascii): writes '.' and '->' instead, and escapes
    whatever else it cannot encode."""

    GLYPHS = str.maketrans({"·": ".", "→": "->"})

    def __init__(self, stream: IO[str]) -> None:
        self.stream = stream
        self.encoding = getattr(stream, "encoding", None) or "utf-8"

    def write(self, text: str) -> int:
        text = text.translate(self.GLYPHS)
        self.stream.write(text.encode(self.encoding, "backslashreplace").decode(self.encoding))
        return len(text)

    def __getattr__(self, name: str) -> object:
        return getattr(self.stream, name)


def fit_encoding(stream: IO[str]) -> IO[str]:
    """The stream itself when it can write the pictures, else a Plain one."""
    encoding = getattr(stream, "encoding", None)
    if not encoding:
        return stream
    try:
        "·→".encode(encoding)
        return stream
    except (UnicodeEncodeError, LookupError):
        return Plain(stream)  # type: ignore[return-value]
