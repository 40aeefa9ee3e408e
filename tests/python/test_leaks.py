"""Thousands of calls of every kind (solved, stopped, exhausted, refused,
interrupted, failing callables) leave the process's resident memory and the reference
counts of everything passed in where they were."""

import gc
import os
import signal
import sys

import pytest

from velmora import velmora

from outcomes import EXHAUSTED, LONG, NO_MOVE, ONE_MOVE, TRAP, StopAfter

PAGE = os.sysconf("SC_PAGE_SIZE")


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


class Failure(Exception):
    pass


ANSWER = ["a list cannot be read as a bool"]


def log_fn(_line):
    pass


def failing_log(_line):
    raise Failure("log")


def odd_stop():
    return ANSWER


def failing_stop():
    raise Failure("stop")


def never_stop():
    return False


stop_soon = StopAfter(2)  # reset before each use


def stopping_stop():
    return stop_soon()


class Interrupted(Exception):
    pass


def raise_interrupted(_signum, _frame):
    raise Interrupted


sent = []


def interrupting_log(line):
    # Once a call, from a worker while the driver waits for the workers.
    if line == "Thread 0 acildi\n" and not sent:
        sent.append(1)
        os.kill(os.getpid(), signal.SIGINT)


BIG = [[0] * 20 for _ in range(101)]


def kind_of(i):
    # Interrupted calls wait for the driver's next look at signals: fewer.
    return 10 if i % 50 == 49 else i % 10


def one_call(i):
    """One call out of eleven kinds; returns what it returned or raised."""
    kind = kind_of(i)
    try:
        if kind == 0:
            return velmora(TRAP, log_fn, never_stop, never_stop, True, 2)
        if kind == 1:
            stop_soon.calls = 0
            return velmora(LONG, log_fn=log_fn, stop_fn=stopping_stop, num_threads=3)
        if kind == 2:
            return velmora(EXHAUSTED, log_fn=failing_log, num_threads=2)
        if kind == 3:
            return velmora(ONE_MOVE, log_fn=log_fn, stop_fn=failing_stop)
        if kind == 4:
            return velmora(TRAP, log_fn=log_fn, stop_get_best_fn=odd_stop)
        if kind == 5:
            return velmora(NO_MOVE, log_fn=failing_log, stop_fn=never_stop)
        if kind == 6:
            return velmora(BIG, log_fn=log_fn)  # ValueError: too many lanes
        if kind == 7:
            return velmora([[0, 2**40]], log_fn=log_fn)  # TypeError
        if kind == 8:
            return velmora(((0, 2, 1), (0, 0, 3)), log_fn=failing_log, num_threads=1)
        if kind == 9:
            return velmora([[1, 2], [3]], log_fn=log_fn)  # solved at start
        sent.clear()
        return velmora(LONG, log_fn=interrupting_log, num_threads=2)  # Ctrl-C
    except (TypeError, ValueError, Interrupted) as error:
        return type(error)


PASSED_IN = [log_fn, failing_log, odd_stop, failing_stop, never_stop, stopping_stop, ANSWER,
             interrupting_log, TRAP, LONG, EXHAUSTED, ONE_MOVE, NO_MOVE, BIG, BIG[0], TRAP[0]]


@pytest.mark.timeout(240)
def test_two_thousand_calls_leak_nothing(capfd):
    previous = signal.signal(signal.SIGINT, raise_interrupted)
    try:
        run_calls(capfd)
    finally:
        signal.signal(signal.SIGINT, previous)


def run_calls(capfd):
    kinds = {}
    for i in range(300):  # warm up: allocator arenas, thread stacks, caches
        one_call(i)
    gc.collect()
    counts = [sys.getrefcount(obj) for obj in PASSED_IN]
    rss = [resident_bytes()]
    for half in range(2):
        for i in range(1000):
            outcome = one_call(i)
            kinds.setdefault(kind_of(i), set()).add(
                outcome if isinstance(outcome, type) else type(outcome).__name__)
            del outcome
        gc.collect()
        rss.append(resident_bytes())
    capfd.readouterr()  # the failing log's lines on standard error

    assert [sys.getrefcount(obj) for obj in PASSED_IN] == counts
    # The exceptions the callables and the signal handler raised were all let go of.
    assert not [obj for obj in gc.get_objects() if isinstance(obj, (Failure, Interrupted))]
    # Every kind ended as it should, every time.
    assert kinds == {0: {"dict"}, 1: {"NoneType"}, 2: {"NoneType"}, 3: {"NoneType"},
                     4: {"NoneType"}, 5: {"NoneType"}, 6: {ValueError}, 7: {TypeError},
                     8: {"dict"}, 9: {"dict"}, 10: {Interrupted}}
    growth = [b - a for a, b in zip(rss, rss[1:])]
    print(f"resident memory: {rss[0] / 2**20:.1f} MiB, then +{growth[0] / 2**10:.0f} KiB and "
          f"+{growth[1] / 2**10:.0f} KiB over two rounds of 1000 calls")
    # A leak of one 2000-byte board per call would be 2 MB a round.
    assert growth[1] < 1 * 2**20
    assert rss[2] - rss[0] < 4 * 2**20
