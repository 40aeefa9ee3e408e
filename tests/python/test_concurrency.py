"""Several calls at once on different Python threads, and a stop asked for
from another thread. The GIL is released for the whole search, so calls
overlap; they share nothing, so each must give what it gives alone."""

import re
import threading
import time

import pytest

from velmora import velmora

from conftest import blokaj, replay
from outcomes import (EXHAUSTED, FIVE_LANES, LONG, NO_MOVE, ONE_MOVE, SIX_LANES, THREE_ITERATIONS,
                      TRAP, StopAfter, check_outcome)

BOARDS = [ONE_MOVE, TRAP, THREE_ITERATIONS, FIVE_LANES, SIX_LANES, EXHAUSTED, NO_MOVE,
          [[0, 1, 3, 2], [0]]]
STOP_INSIDE = "IDA* durduruldu (dfs icinde), None donuluyor.\n"


def untimed(lines):
    return [re.sub(r"sure=[0-9.]+", "sure=", line) for line in lines]


def run(board, threads, stopper=None, tiebreak=False):
    lines = []
    result = velmora(board, log_fn=lines.append, stop_fn=stopper, num_threads=threads,
                     use_dsg_tiebreak=tiebreak)
    return result, lines


def without_time(result):
    return result if result is None else {k: v for k, v in result.items() if k != "time"}


def in_threads(jobs, timeout=100):
    """Runs every job on its own thread, all started together; returns their
    results in order and fails when one raised or did not finish."""
    results = [None] * len(jobs)
    errors = []
    barrier = threading.Barrier(len(jobs))

    def body(i, job):
        try:
            barrier.wait()
            results[i] = job()
        except BaseException as error:  # noqa: BLE001 - reported below
            errors.append(error)

    threads = [threading.Thread(target=body, args=(i, job)) for i, job in enumerate(jobs)]
    for t in threads:
        t.start()
    deadline = time.monotonic() + timeout
    for t in threads:
        t.join(max(0.0, deadline - time.monotonic()))
    assert not any(t.is_alive() for t in threads), "a call did not end"
    assert not errors, errors
    return results


@pytest.mark.timeout(200)
@pytest.mark.parametrize("tiebreak", [False, True])
def test_eight_threads_on_different_boards_match_serial_calls(tiebreak):
    serial = {i: run(board, 1, tiebreak=tiebreak) for i, board in enumerate(BOARDS)}
    for round_ in range(3):
        jobs = []
        for i, board in enumerate(BOARDS):
            threads = 1 + (i + round_) % 4
            jobs.append(lambda board=board, threads=threads: (threads, run(board, threads, tiebreak=tiebreak)))
        for i, (threads, (result, lines)) in enumerate(in_threads(jobs)):
            want_result, want_lines = serial[i]
            if threads == 1:  # one worker is deterministic, log included
                assert without_time(result) == without_time(want_result)
                assert untimed(lines) == untimed(want_lines)
            else:
                kind = check_outcome(BOARDS[i], result, lines)
                assert kind == check_outcome(BOARDS[i], want_result, want_lines)
                assert lines[0] == want_lines[0]


@pytest.mark.timeout(120)
def test_shared_callables_and_stops_across_concurrent_calls():
    # One log list and one stop callable shared by every call, some of which
    # stop inside the search while the others solve.
    shared_lines = []
    stopper = StopAfter(10**9)
    jobs = []
    for i in range(8):
        if i % 2:
            jobs.append(lambda i=i: ("stop", run(LONG, 1 + i % 4, StopAfter(3 + i))))
        else:
            board = BOARDS[i % 5]
            jobs.append(lambda board=board, i=i: ("solve", board, velmora(
                board, log_fn=shared_lines.append, stop_fn=stopper, stop_get_best_fn=stopper,
                num_threads=1 + i % 4)))
    for job in in_threads(jobs):
        if job[0] == "stop":
            result, lines = job[1]
            assert result is None and lines[-1].startswith("IDA* durduruldu")
        else:
            _, board, result = job
            assert blokaj(replay(board, result)) == 0
    assert not stopper.fired
    assert len([l for l in shared_lines if l.startswith("IDA* basladi")]) == 4
    assert len([l for l in shared_lines if l.startswith("Cozum bulundu!")]) == 4


@pytest.mark.timeout(60)
def test_a_stop_set_from_another_thread_ends_a_long_run_quickly():
    stop = threading.Event()
    inside = threading.Event()
    iteration = [0]

    def log(line):
        if line.startswith("Iterasyon "):
            iteration[0] = int(line.split()[1])
        # The workers of a long iteration (the 8th: some 20000 nodes) hold on
        # until the stop is set, so the stop is surely asked for inside the
        # search, never between iterations.
        if line.endswith(" acildi\n") and iteration[0] >= 8 and not stop.is_set():
            inside.set()
            stop.wait(30)
        lines.append(line)

    lines = []
    set_at = []

    def setter():
        inside.wait(30)
        time.sleep(0.05)
        set_at.append(time.monotonic())
        stop.set()

    thread = threading.Thread(target=setter)
    thread.start()
    result = velmora(LONG, log_fn=log, stop_fn=stop.is_set, num_threads=4)
    ended = time.monotonic()
    thread.join()
    assert result is None
    assert lines[-1] == STOP_INSIDE
    latency = ended - set_at[0]
    print(f"stop latency: {latency * 1000:.1f} ms")
    assert latency < 5.0
