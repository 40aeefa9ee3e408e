"""What a batch shows while it runs (a progress bar with the counts by status
and an ETA on a terminal, a plain line per board otherwise) and the summary
table at its end."""

from __future__ import annotations

import importlib
import os
from collections import Counter
from collections.abc import Iterable
from typing import IO, Any

from .board import count
from .text import printable

STATUSES = ("solved", "no_solution", "stopped", "bad_input", "failed")


def counts_text(counts: Counter[str]) -> str:
    return " · ".join(f"{status} {counts[status]}" for status in STATUSES if counts[status])


class Bar:
    """tqdm's bar on a terminal; plain lines when standard error is not one
    or tqdm is not installed (it is optional: `velmora[cli]`)."""

    def __init__(self, err: IO[str], total: int) -> None:
        self.err, self.total, self.done = err, total, 0
        self.counts: Counter[str] = Counter()
        self.bar: Any = None
        if err.isatty():
            try:
                tqdm = importlib.import_module("tqdm").tqdm
            except ImportError:
                return
            try:  # a terminal that reports no size (a bare pty) gets 80 x 24
                sized = os.get_terminal_size(err.fileno()).columns > 0
            except (OSError, ValueError, AttributeError):
                sized = False
            self.bar = tqdm(total=total, file=err, unit="board", dynamic_ncols=sized,
                            **({} if sized else {"ncols": 80, "nrows": 24}))

    def add(self, record: dict[str, Any]) -> None:
        self.done += 1
        self.counts[record["status"]] += 1
        try:
            if self.bar is not None:
                self.bar.set_postfix_str(counts_text(self.counts), refresh=False)
                self.bar.update(1)
            else:
                self.err.write(f"[{self.done}/{self.total}] {printable(record['name'])}: "
                               f"{describe(record)}\n")
                self.err.flush()
        except (OSError, ValueError):  # standard error full or closed: the batch goes on
            pass

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


def describe(record: dict[str, Any]) -> str:
    status = record["status"]
    if status == "solved":
        return f"solved in {count(record['num_moves'], 'move')} ({record['seconds']:.2f} s)"
    if status in ("bad_input", "failed"):
        return f"{status}: {printable(str(record['error']))}"
    return f"{status} ({record['seconds']:.2f} s)"


def summary(records: Iterable[dict[str, Any]]) -> list[str]:
    """A row per status: boards, moves, nodes and seconds summed; a total."""
    rows: dict[str, list[float]] = {}
    for record in records:
        row = rows.setdefault(record["status"], [0, 0, 0, 0.0])
        row[0] += 1
        for i, key in enumerate(("num_moves", "nodes", "seconds"), start=1):
            row[i] += record.get(key) or 0
    total = [sum(row[i] for row in rows.values()) for i in range(4)]
    order = [s for s in STATUSES if s in rows] + sorted(set(rows) - set(STATUSES))
    lines = [f"{'status':<12} {'boards':>7} {'moves':>8} {'nodes':>14} {'seconds':>9}"]
    for status, row in [*((s, rows[s]) for s in order), ("total", total)]:
        lines.append(f"{status:<12} {row[0]:>7,} {row[1]:>8,} {row[2]:>14,} {row[3]:>9.2f}")
    return lines
