"""Where the boards of a batch are solved: a pool of processes on this
machine, or the workers of a Dask cluster. Each calls `take` with every
record as its board ends, in the order they end; on Ctrl-C (or any error in
`take`) the boards in flight are stopped and nothing more is taken."""

from __future__ import annotations

import importlib
import multiprocessing
from collections.abc import Callable, Sequence
from concurrent.futures import FIRST_COMPLETED, ProcessPoolExecutor, wait
from typing import Any

from .board import BadInput, Board
from .jobs import Options, record, solve_board, start_worker

Task = tuple[str, Board]  # a board's name and its lanes
Take = Callable[[dict[str, Any]], None]


def run_local(tasks: Sequence[Task], options: Options, jobs: int, take: Take) -> None:
    """`jobs` processes, each solving one board at a time. Boards are handed
    out a few at a time (8 a process: enough that a process never waits
    for the next), so a Ctrl-C has little queued to cancel."""
    interrupted = multiprocessing.get_context().Event()
    pool = ProcessPoolExecutor(jobs, initializer=start_worker, initargs=(interrupted,))
    try:
        queue = iter(tasks)
        flight: set[Any] = set()

        def submit() -> None:
            for name, board in queue:
                flight.add(pool.submit(solve_board, name, board, options))
                if len(flight) >= 8 * jobs:
                    return

        submit()
        while flight:
            done, _ = wait(flight, return_when=FIRST_COMPLETED)
            for future in done:
                flight.discard(future)
                take(future.result())  # solve_board does not raise; a process that died does
            submit()
    except BaseException:
        interrupted.set()  # the boards in flight stop at their next poll
        raise
    finally:
        pool.shutdown(wait=True, cancel_futures=True)


def connect(address: str) -> Any:
    """A Dask client of the scheduler at `address`; BadInput when Dask is not
    installed or the scheduler cannot be reached."""
    try:
        distributed: Any = importlib.import_module("distributed")  # optional, untyped
    except ImportError:
        raise BadInput("--scheduler needs Dask distributed: pip install 'velmora[cluster]' "
                       "(Debian: apt install python3-distributed)") from None
    try:
        return distributed.Client(address, timeout=10)
    except (OSError, ValueError, TypeError) as e:
        raise BadInput(f"cannot reach the scheduler at {address}: {e}") from None


def run_cluster(tasks: Sequence[Task], options: Options, client: Any, take: Take) -> None:
    """One Dask task a board, on the cluster of `client`, which it closes; the
    workers need this package and the module installed. A Ctrl-C cancels the
    tasks; one already running goes on to its time limit."""
    distributed: Any = importlib.import_module("distributed")
    futures = []
    try:
        names = {}
        for name, board in tasks:
            future = client.submit(solve_board, name, board, options, pure=False)
            futures.append(future)
            names[future.key] = name
        for future in distributed.as_completed(futures):
            try:
                result = future.result()
            except Exception as e:  # the worker died (KilledWorker) or was lost
                result = record(names[future.key], options, "failed",
                                error=f"{type(e).__name__}: {e}")
            take(result)
    finally:
        client.cancel(futures)
        client.close()
