"""One search of one board by either engine, ended by a time limit, Ctrl-C
or an outside request: the status the command reports and the module's
result."""

from __future__ import annotations

import threading
import time
from collections.abc import Callable
from typing import Any

from .board import BadInput, Board

ENGINES = ("first", "shortest")
Solver = Callable[..., Any]


def solver_for(engine: str) -> Solver:
    """The module's function for the engine: velmora() finds a solution by
    IDA*, plan() the shortest one. BadInput when it cannot be had."""
    try:
        import velmora
    except ImportError as e:
        raise BadInput(f"cannot import the velmora module ({e}); build it with ./dev build "
                       "and put build/ on PYTHONPATH, or pip install .") from None
    if engine == "first":
        return velmora.velmora
    plan = getattr(velmora, "plan", None)
    if plan is None:
        raise BadInput("--engine shortest needs velmora.plan(), which this build of the "
                       "module does not have")
    return plan  # type: ignore[no-any-return]


class Stop:
    """The stop callable of a run: true once the deadline has passed, Ctrl-C
    hit one of the callables, or `also()` says so.

    The interpreter runs a Ctrl-C's handler on the main thread, which also
    runs the module's calls of the callables between iterations; a
    KeyboardInterrupt raised in them would count as the callable failing, so
    they note it and ask the search to stop instead."""

    def __init__(self, time_limit: float | None, also: Callable[[], bool] | None = None) -> None:
        self.deadline = None if time_limit is None else time.monotonic() + time_limit
        self.also = also
        self.timed_out = threading.Event()
        self.interrupted = threading.Event()
        self.asked = threading.Event()  # by `also`

    def __call__(self) -> bool:
        try:
            if self.deadline is not None and time.monotonic() >= self.deadline:
                self.timed_out.set()
            if self.also is not None and self.also():
                self.asked.set()
        except KeyboardInterrupt:
            self.interrupted.set()
        return self.said_yes()

    def said_yes(self) -> bool:
        """Whether it has asked for a stop (without asking anything again)."""
        return self.timed_out.is_set() or self.interrupted.is_set() or self.asked.is_set()

    def guard(self, log: Callable[[str], object] | None) -> Callable[[str], None]:
        """A log callable that notes a Ctrl-C instead of losing it."""
        def log_fn(text: str) -> None:
            try:
                if log is not None:
                    log(text)
            except KeyboardInterrupt:
                self.interrupted.set()
        return log_fn


def search(solver: Solver, engine: str, board: Board, *, threads: int, tiebreak: bool,
           time_limit: float | None, log: Callable[[str], object] | None = None,
           also: Callable[[], bool] | None = None) -> tuple[str, Any, Stop]:
    """Runs one search: ("solved" | "no_solution" | "stopped", the module's
    result, the Stop that says why it ended). The result is None when
    velmora() found nothing; plan() always answers one. A KeyboardInterrupt
    out of the module is noted in the Stop; other exceptions pass."""
    # plan() keeps its own time limit, to answer the best plan it has then;
    # a stop at the same moment could take that answer away.
    stop = Stop(time_limit if engine == "first" else None, also)
    log_fn = stop.guard(log)
    try:
        if engine == "first":
            result = solver(board, log_fn=log_fn, stop_fn=stop, use_dsg_tiebreak=tiebreak,
                            num_threads=threads)
            if result is not None:
                return "solved", result, stop
            return ("stopped" if stop.said_yes() else "no_solution"), None, stop
        result = solver(board, time_limit=time_limit, num_threads=threads, stop_fn=stop,
                        log_fn=log_fn)
    except KeyboardInterrupt:
        stop.interrupted.set()
        return "stopped", None, stop
    status = "solved" if result["status"] in ("optimal", "feasible") else result["status"]
    return status, result, stop
