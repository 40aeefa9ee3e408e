"""The live progress of one search, read from the module's log lines: a
status line on standard error with iteration, bound, nodes, nodes per second
and elapsed seconds."""

from __future__ import annotations

import threading
from typing import IO, TYPE_CHECKING, Any

from . import log_lines

if TYPE_CHECKING:
    from velmora import Result


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
        try:
            self.draw(new_iteration)
        except (OSError, ValueError):  # standard error full or closed: the search goes on
            pass

    def draw(self, new_iteration: bool) -> None:
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

    def finish(self, result: Result | dict[str, Any] | None) -> None:
        with self.lock:
            if result is not None:
                self.nodes_of = {0: result["nodes_expanded"]}
                self.elapsed = result["time"]
                self.iteration = result.get("iterations", self.iteration)
            if self.shown:
                start = "\r" if self.tty else ""
                try:
                    self.out.write(start + self.status().ljust(self.width) + "\n")
                    self.out.flush()
                except (OSError, ValueError):
                    pass
            self.width = 0
            self.shown = False
