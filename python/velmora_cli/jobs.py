"""One board of a batch, solved where a worker runs it (a process of this
machine's pool or a Dask worker): the record written for it, one JSON
object that says what `velmora solve --json` would have."""

from __future__ import annotations

import signal
import time
from dataclasses import dataclass
from typing import Any

from .board import BadAnswer, Board, replay
from .engine import search, solver_for

FIELDS = ("name", "status", "moves", "num_moves", "nodes", "seconds", "error")
PLAN_FIELDS = ("lower_bound", "optimal")  # --engine shortest only


@dataclass(frozen=True)
class Options:
    engine: str = "first"
    threads: int = 1
    tiebreak: bool = False
    time_limit: float | None = None


def fields(options: Options) -> tuple[str, ...]:
    return FIELDS + PLAN_FIELDS if options.engine == "shortest" else FIELDS


def record(name: str, options: Options, status: str, **values: Any) -> dict[str, Any]:
    """A record with every field of the batch, those not given null."""
    values.update(name=name, status=status)
    return {key: values.get(key) for key in fields(options)}


# Set in the processes of this machine's pool: the batch was interrupted.
_interrupted: Any = None


def start_worker(interrupted: Any) -> None:
    """A pool process: Ctrl-C reaches the whole process group, but only the
    batch's own process handles it; it sets `interrupted` for the boards in
    flight to stop."""
    global _interrupted
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    _interrupted = interrupted


def solve_board(name: str, board: Board, options: Options) -> dict[str, Any]:
    """Solves one board and checks the answer by replaying it; never raises."""
    also = _interrupted.is_set if _interrupted is not None else None
    start = time.perf_counter()
    try:
        status, result, _ = search(solver_for(options.engine), options.engine, board,
                                   threads=options.threads, tiebreak=options.tiebreak,
                                   time_limit=options.time_limit, log=lambda _: None, also=also)
        if status == "solved":
            replay(board, result)
    except BadAnswer as e:
        return record(name, options, "failed",
                      error=f"the module's solution does not check out: {e}")
    except (ValueError, TypeError) as e:
        return record(name, options, "bad_input", error=f"the board was refused: {e}")
    except Exception as e:  # MemoryError, RuntimeError, no module: this board failed
        return record(name, options, "failed", error=f"{type(e).__name__}: {e}")
    seconds = round(time.perf_counter() - start, 6)
    if result is None:
        return record(name, options, status, seconds=seconds)
    plan = {"lower_bound": result["lower_bound"], "optimal": result["status"] == "optimal"} \
        if options.engine == "shortest" else {}
    moves = [list(move) for move in result["moves"]] if status == "solved" else None
    return record(name, options, status, moves=moves,
                  num_moves=result["num_moves"] if status == "solved" else None,
                  nodes=result["nodes_expanded"], seconds=seconds, **plan)
