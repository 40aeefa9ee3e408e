"""Hostile callables: log and stop callables that raise (KeyboardInterrupt
and SystemExit included), answer odd objects, are not callable, sleep or
call velmora themselves. A failing log callable costs one line on standard
error and changes nothing else; a stop callable that fails or answers
something unreadable stops the run; no exception ever leaves the call."""

import sys
import threading
import time

import pytest

from velmora import velmora

from conftest import blokaj, replay
from outcomes import LONG, ONE_MOVE, THREE_ITERATIONS, TRAP, StopAfter, check_outcome, quiet

FAILURE_LINE = "Log callback hatasi.\n"
STOP_BEFORE = "IDA* durduruldu, None donuluyor.\n"
STOP_INSIDE = "IDA* durduruldu (dfs icinde), None donuluyor.\n"


def without_time(result):
    return {k: v for k, v in result.items() if k != "time"}


def reference(board):
    """One worker is deterministic: the result and the number of lines."""
    lines = []
    result = velmora(board, log_fn=lines.append, num_threads=1)
    return without_time(result), len(lines)


class Boom(Exception):
    pass


class Unprintable(Exception):
    def __str__(self):
        raise RuntimeError("cannot even print me")


class Odd:
    """An object with a length but no truth method of its own."""

    def __len__(self):
        return 0


class BadBool:
    def __bool__(self):
        raise Boom("no truth")


class WrongBool:
    def __bool__(self):
        return "yes"  # not a bool: Python raises TypeError


class FalseBool:
    def __bool__(self):
        return False


class NastyDel:
    def __del__(self):
        raise Boom("raised while being dropped")


def raising(exc):
    def fn(*_args):
        raise exc
    return fn


FAILING_LOGS = {
    "raises": raising(Boom("log")),
    "raises unprintable": raising(Unprintable()),
    "raises KeyboardInterrupt": raising(KeyboardInterrupt),
    "raises SystemExit": raising(SystemExit(3)),
    "raises GeneratorExit": raising(GeneratorExit),
    "raises BaseException": raising(BaseException("base")),
    "not callable int": 5,
    "not callable str": "log",
    "takes no argument": lambda: None,
    "int() of the line": int,
}


class TestFailingLog:
    @pytest.mark.parametrize("name", sorted(FAILING_LOGS))
    def test_every_line_costs_one_failure_line_and_the_result_is_unchanged(self, name, capfd):
        for board in (ONE_MOVE, THREE_ITERATIONS):
            want, line_count = reference(board)
            capfd.readouterr()
            result = velmora(board, log_fn=FAILING_LOGS[name], num_threads=1)
            assert sys.exc_info() == (None, None, None)
            out, err = capfd.readouterr()
            assert without_time(result) == want
            assert err == FAILURE_LINE * line_count
            assert out == ""  # nothing falls back to standard output

    def test_failing_only_sometimes_from_many_workers(self, capfd):
        calls = []
        lock = threading.Lock()

        def flaky(line):
            with lock:
                calls.append(line)
                n = len(calls)
            if n % 2:
                raise KeyboardInterrupt if n % 3 else SystemExit

        capfd.readouterr()
        stopper = StopAfter(40)
        result = velmora(LONG, log_fn=flaky, stop_fn=stopper, num_threads=4)
        err = capfd.readouterr().err
        assert result is None and stopper.fired
        assert err == FAILURE_LINE * ((len(calls) + 1) // 2)
        assert calls[-1] in (STOP_BEFORE, STOP_INSIDE)  # the driver asks too

    def test_a_result_that_raises_when_dropped_is_dropped_under_the_gil(self, monkeypatch, capfd):
        dropped = []
        monkeypatch.setattr(sys, "unraisablehook", lambda info: dropped.append(info.exc_type))
        want, line_count = reference(TRAP)
        capfd.readouterr()
        result = velmora(TRAP, log_fn=lambda line: NastyDel(), num_threads=3)
        assert blokaj(replay(TRAP, result)) == 0
        assert dropped and set(dropped) == {Boom}
        assert FAILURE_LINE not in capfd.readouterr().err


# Answers a stop callable may give, and whether they stop the run.
NEVER_STOP = [False, None, 0, 0.0, -0.0, FalseBool()]
STOP = [True, 1, -1, 2.5, float("nan"), float("inf"), "", "no", b"", [], [0], (), {}, Odd(),
        object(), BadBool(), WrongBool()]


def answering(value):
    return lambda: value


STOP_FAILURES = {
    "raises": raising(Boom("stop")),
    "raises KeyboardInterrupt": raising(KeyboardInterrupt),
    "raises SystemExit": raising(SystemExit(0)),
    "raises unprintable": raising(Unprintable()),
    "not callable int": 7,
    "not callable list": [True],
    "wants an argument": lambda flag: flag,
}


class TestStopAnswers:
    @pytest.mark.parametrize("answer", NEVER_STOP, ids=repr)
    @pytest.mark.parametrize("slot", ["stop_fn", "stop_get_best_fn"])
    def test_false_like_answers_never_stop(self, answer, slot):
        want, _ = reference(THREE_ITERATIONS)
        calls = []

        def stop():
            calls.append(1)
            return answer

        result = velmora(THREE_ITERATIONS, log_fn=quiet, num_threads=1, **{slot: stop})
        assert without_time(result) == want
        assert len(calls) >= want["iterations"]

    @pytest.mark.parametrize("answer", STOP, ids=repr)
    @pytest.mark.parametrize("slot", ["stop_fn", "stop_get_best_fn"])
    def test_true_and_unreadable_answers_stop_before_the_first_iteration(self, answer, slot):
        lines = []
        result = velmora(TRAP, log_fn=lines.append, **{slot: answering(answer)})
        assert result is None and sys.exc_info() == (None, None, None)
        assert lines[1:] == [STOP_BEFORE]

    @pytest.mark.parametrize("name", sorted(STOP_FAILURES))
    @pytest.mark.parametrize("slot", ["stop_fn", "stop_get_best_fn"])
    def test_failing_stop_callables_stop(self, name, slot):
        lines = []
        result = velmora(TRAP, log_fn=lines.append, **{slot: STOP_FAILURES[name]})
        assert result is None and sys.exc_info() == (None, None, None)
        assert lines[1:] == [STOP_BEFORE]

    @pytest.mark.parametrize("answer", [Odd(), "stop", BadBool(), None], ids=repr)
    def test_answers_inside_the_search_from_worker_threads(self, answer):
        main = threading.get_ident()

        def stop():
            if threading.get_ident() == main:
                return False
            if answer is None:
                raise KeyboardInterrupt
            return answer

        lines = []
        result = velmora(LONG, log_fn=lines.append, stop_fn=stop, num_threads=3)
        assert result is None and sys.exc_info() == (None, None, None)
        assert lines[-1] == STOP_INSIDE
        assert not any(line.startswith("[IDA*]") for line in lines)  # stopped at node 1000


class TestSlowCallables:
    @pytest.mark.timeout(60)
    def test_sleeping_callables_delay_but_do_not_disturb(self):
        lines = []

        def slow_log(line):
            time.sleep(0.002)
            lines.append(line)

        def slow_stop():
            time.sleep(0.01)
            return False

        ticks = []
        ticking = threading.Event()

        def ticker():  # other Python threads go on meanwhile
            while not ticking.is_set():
                ticks.append(1)
                time.sleep(0.005)

        thread = threading.Thread(target=ticker)
        thread.start()
        try:
            for board in (TRAP, THREE_ITERATIONS):
                result = velmora(board, log_fn=slow_log, stop_fn=slow_stop,
                                 stop_get_best_fn=slow_stop, num_threads=4)
                check_outcome(board, result, lines)
                lines.clear()
        finally:
            ticking.set()
            thread.join()
        assert len(ticks) > 5


class TestReentrantCalls:
    @pytest.mark.timeout(60)
    def test_callables_that_call_velmora(self):
        inner = []
        inner_lock = threading.Lock()

        def solve_inside(board, depth):
            lines = []
            log = (lambda line: (lines.append(line), nested_log(line, depth + 1))) if depth < 2 \
                else lines.append
            result = velmora(board, log_fn=log, num_threads=2)
            check_outcome(board, result, lines)
            with inner_lock:
                inner.append(depth)
            return result

        def nested_log(line, depth):
            if line.startswith("Iterasyon 1 "):
                solve_inside(ONE_MOVE, depth)

        def stop_fn():
            # A dict cannot be read as a bool, so answer with a real one.
            return solve_inside(TRAP, 1) is None

        outer_lines = []
        result = velmora(THREE_ITERATIONS, stop_fn=stop_fn, num_threads=3,
                         log_fn=lambda line: (outer_lines.append(line), nested_log(line, 0)))
        check_outcome(THREE_ITERATIONS, result, outer_lines)
        assert 0 in inner and 1 in inner and 2 in inner

    def test_a_log_fn_that_empties_the_board_list_does_not_change_the_run(self):
        board = [list(lane) for lane in THREE_ITERATIONS]
        want, _ = reference(THREE_ITERATIONS)

        def vandal(_line):
            for lane in board:
                lane[:] = [9] * len(lane)
            board.clear()

        result = velmora(board, log_fn=vandal, num_threads=1)
        assert board == [] and without_time(result) == want
