"""Reading a board from a file or standard input: JSON ({"lanes": [...]} or a
bare list of lanes) or a bay file, within a size that no board the solver
takes exceeds, so that a hostile file is refused before it is built."""

from __future__ import annotations

import json
from typing import IO

from .bay import parse_bay
from .board import BadInput, Board, parse_board
from .text import printable

# A board of 2000 cells is a few kilobytes, even pretty-printed.
MAX_FILE_BYTES = 1 << 20


def read_text(name: str, stdin: IO[str] | None) -> tuple[str, str]:
    """The text of a file, or of standard input for '-', and how to name it.
    A byte-order mark is dropped from either."""
    where = "standard input" if name == "-" else printable(name)
    try:
        if name == "-":
            if stdin is None:
                raise BadInput("no board: standard input is closed")
            buffer = getattr(stdin, "buffer", None)
            data: bytes | str = (buffer or stdin).read(MAX_FILE_BYTES + 1)
        else:
            with open(name, "rb") as f:
                data = f.read(MAX_FILE_BYTES + 1)
        if len(data) > MAX_FILE_BYTES:
            raise BadInput(f"{where}: more than {MAX_FILE_BYTES >> 20} MiB; no board the "
                           "solver takes is that large")
        text = data.decode("utf-8") if isinstance(data, bytes) else data
    except (OSError, ValueError) as e:  # ValueError: UnicodeDecodeError, a closed stream
        raise BadInput(f"cannot read {where}: {getattr(e, 'strerror', None) or e}") from None
    return text.removeprefix("\ufeff"), where


def parse_json(text: str) -> Board:
    try:
        data = json.loads(text)
    except json.JSONDecodeError as e:
        raise BadInput(f"not JSON: {e.msg} (line {e.lineno}, column {e.colno})") from None
    except ValueError:  # an int of more digits than Python converts
        raise BadInput("a number with thousands of digits") from None
    except RecursionError:
        raise BadInput("JSON nested too deeply") from None
    return parse_board(data)


def looks_like_json(text: str) -> bool:
    return text.lstrip()[:1] in ("{", "[")


def parse_any(text: str, bay: bool | None = None) -> tuple[Board, dict[str, str]]:
    """A board and its bay headers from JSON or a bay file; `bay` None tells
    them apart by the first character."""
    if bay is None:
        bay = not looks_like_json(text)
    return parse_bay(text) if bay else (parse_json(text), {})


def read_board(name: str, stdin: IO[str] | None, bay: bool | None = None
               ) -> tuple[Board, dict[str, str]]:
    """Reads and checks a board; BadInput names the file."""
    text, where = read_text(name, stdin)
    try:
        return parse_any(text, bay)
    except BadInput as e:
        raise BadInput(f"{where}: {e}") from None
