"""The plain-text bay format of the public pre-marshalling instance sets:
header lines Name:, Description:, Tiers: N, Stacks: M, Containers: C, then one
line "Stack i: v v v" per stack, values bottom first."""

from __future__ import annotations

import re

from .board import MAX_LEVEL, BadInput, Board, check_items, check_size, count

WHOLE = re.compile(r"[0-9]+")
BAY_STACK = re.compile(r"Stack\s+(\S+?)\s*:(.*)", re.IGNORECASE)
BAY_HEADER = re.compile(r"(Name|Description|Tiers|Stacks|Containers)\s*:(.*)", re.IGNORECASE)
DIGITS = 9  # more is beyond every limit; int() of thousands of digits is refused or slow


def whole(text: str) -> int | None:
    """A whole number >= 0, or None; numbers of more than DIGITS digits read
    as one past the largest that fits, so that every limit refuses them."""
    if not WHOLE.fullmatch(text):
        return None
    digits = text.lstrip("0") or "0"
    return int(digits) if len(digits) <= DIGITS else 10 ** DIGITS


def shown(text: str) -> str:
    return repr(text if len(text) <= 20 else text[:20] + "...")


def parse_bay(text: str) -> tuple[Board, dict[str, str]]:
    """Each stack becomes a lane of N slots, top first (slot 0 = the top), and
    value v level v + 1. Returns the lanes and the header texts; raises
    BadInput naming the line. The shape is checked against the solver's
    limits before any lane is built."""
    headers: dict[str, tuple[int, str]] = {}  # key -> (line number, text)
    stacks: list[tuple[int, list[int]]] = []  # (line number, values bottom first)
    first_number = 1
    for n, raw in enumerate(text.splitlines(), start=1):
        line = raw.strip()
        if not line:
            continue
        if m := BAY_STACK.fullmatch(line):
            index = whole(m[1])
            if index is None:
                raise BadInput(f"line {n}: {shown(m[1])} is not a stack number")
            if not stacks:
                first_number = min(index, 1)  # stacks counted from 1, or from 0
            if index != first_number + len(stacks):
                raise BadInput(f"line {n}: stack {m[1][:20]} where stack "
                               f"{first_number + len(stacks)} was expected")
            values = []
            for word in m[2].split():
                value = whole(word)
                if value is None:
                    raise BadInput(f"line {n}: {shown(word)} is not a value (a whole number >= 0)")
                if value + 1 > MAX_LEVEL:
                    raise BadInput(f"line {n}: value {word[:20]} would be level {value + 1:,}; "
                                   f"levels go up to {MAX_LEVEL} (values 0 to {MAX_LEVEL - 1})")
                values.append(value)
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
        got = whole(value)
        if got is None or got < least:
            raise BadInput(f"line {n}: {key}: needs a whole number >= {least}, not {shown(value)}")
        return got

    tiers, stack_count = number("Tiers", 1), number("Stacks", 0)
    containers = number("Containers", 0)
    try:
        check_size(stack_count, tiers)
    except BadInput as e:
        raise BadInput(f"line {headers['Tiers'][0]}: Tiers: {tiers:,} and Stacks: "
                       f"{stack_count:,}: {e}") from None
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
        try:
            check_items(len(board), len(values))
        except BadInput as e:
            raise BadInput(f"line {n}: {e}") from None
        board.append([0] * (tiers - len(values)) + [v + 1 for v in reversed(values)])
    return board, {key: value for key, (_, value) in headers.items()}
