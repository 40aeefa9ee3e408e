"""The SVG picture of a run: one self-contained file (no scripts, fonts or
links) that shows the board before and animates the moves (SMIL), or lays
every board side by side for print."""

from __future__ import annotations

import math
import xml.etree.ElementTree as ET
from typing import TYPE_CHECKING, Any

from .board import Board, apply_move, count, misplaced_count, misplaced_slots
from .text import describe_move, printable

if TYPE_CHECKING:
    from velmora import Result

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


def render_svg(board: Board, result: Result | dict[str, Any] | None, title: str, summary: str,
               still: bool = False) -> str:
    """One self-contained SVG of a run: the board before, then each move (the
    item travelling out of its lane's front, along the gap and into the other
    lane), ending on the board after the last move. `still` lays every board
    out side by side instead, for print. Misplaced items are bracketed and
    outlined as in the text picture; the title and `summary` head it."""
    title = printable(title)  # XML cannot hold control characters
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
