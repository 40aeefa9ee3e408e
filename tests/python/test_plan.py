# plan(): replayed plans, shortest lengths against a breadth-first search, stops, limits, errors.

import ctypes
import functools
import os
import random
import signal
import threading
from collections import deque

import pytest

from velmora import plan

from conftest import apply, blokaj, low8, moves_from, reachable


def shortest(lanes, limit=20_000):
    # Moves to the nearest sorted board by breadth-first search on the Python model
    # alone; None without one, or beyond `limit` positions.
    start = tuple(map(tuple, low8(lanes)))
    seen, todo = {start: 0}, deque([start])
    while todo:
        board = todo.popleft()
        if blokaj(board) == 0:
            return seen[board]
        for s, d in moves_from(board):
            child = tuple(map(tuple, apply(board, s, d)[0]))
            if child not in seen:
                if len(seen) >= limit:
                    return None
                seen[child] = seen[board] + 1
                todo.append(child)
    return None


def check(lanes, result):  # the keys, the replay of every move, the figures; the board after
    assert list(result) == ["status", "moves", "num_moves", "lower_bound", "nodes_expanded",
                            "time", "plans"]
    board = low8(lanes)
    for g, (src, src_slot, dst, dst_slot, item, mg, h, f, aux) in enumerate(result["moves"], 1):
        board, a, d, moved = apply(board, src, dst)
        assert (src_slot, dst_slot, item, mg, f, aux) == (a, d, moved, g, g + h, 0.0)
    assert result["num_moves"] == len(result["moves"])
    counts = [n for _, n in result["plans"]]
    assert counts == sorted(set(counts), reverse=True)  # strictly decreasing
    assert [t for t, _ in result["plans"]] == sorted(t for t, _ in result["plans"])
    if result["status"] in ("optimal", "feasible"):
        assert blokaj(board) == 0 and counts[-1] == result["num_moves"]
        assert 0 <= result["lower_bound"] <= result["num_moves"]
    if result["status"] == "optimal":
        assert result["lower_bound"] == result["num_moves"]
    if result["status"] in ("no_solution", "stopped"):
        assert result["moves"] == [] and result["plans"] == []
    return board


def random_board(rng, lanes, slots, fill):  # levels 1..5 packed at the back of each lane
    board = [[0] * slots for _ in range(lanes)]
    for _ in range(int(lanes * slots * fill)):
        lane = rng.choice([lane for lane in board if lane[0] == 0])
        lane[lane.count(0) - 1] = rng.randint(1, 5)
    return board


def tight_board(rng):  # 3 to 6 lanes of 2 to 4 slots, 1 to 3 of them free
    lanes, slots = rng.randint(3, 6), rng.randint(2, 4)
    return random_board(rng, lanes, slots, 1 - rng.randint(1, 3) / (lanes * slots))


def unproven_board():  # its bound stays several moves below any plan found for minutes
    return random_board(random.Random(4), 40, 8, 0.75)


@functools.cache
def small_boards():  # 40 solvable tight boards of at most 5,000 positions, with their lengths
    rng, boards = random.Random(20), []
    while len(boards) < 40:
        board = tight_board(rng)
        if (n := shortest(board, 5_000)) is not None:
            boards.append((board, n))
    return boards


@pytest.mark.parametrize("threads", [1, 2])
def test_small_boards_get_the_breadth_first_length_proven(threads):
    for board, n in small_boards():
        result = plan(board, num_threads=threads)
        check(board, result)
        assert (result["status"], result["num_moves"]) == ("optimal", n), board


def test_unsolvable_board_is_proven_so():
    rng = random.Random(7)
    while (found := reachable(board := tight_board(rng), 5_000)) is None or found[0]:
        pass
    result = plan(board)
    check(board, result)
    assert result["status"] == "no_solution"


def test_stops_and_time_limits_end_with_the_best_plan_or_none():
    board = unproven_board()
    for kwargs in ({"stop_fn": lambda: True}, {"time_limit": 0}):
        result = plan(board, **kwargs)
        check(board, result)
        assert result["status"] == "stopped", kwargs
    for kwargs in ({"time_limit": 0.3}, {"stop_fn": iter([False] * 30 + [True] * 10**6).__next__}):
        result = plan(board, num_threads=2, **kwargs)
        check(board, result)
        assert result["status"] == "feasible" and result["num_moves"] > 0, kwargs
        assert result["time"] < 10


def test_on_plan_sees_each_shorter_plan_on_the_calling_thread():
    board, seen = random_board(random.Random(5), 12, 5, 0.6), []
    lines = []
    result = plan(board, time_limit=1, on_plan=lambda r: seen.append((threading.get_ident(), r)),
                  log_fn=lines.append)
    check(board, result)
    assert {ident for ident, _ in seen} == {threading.get_ident()}
    assert [r["num_moves"] for _, r in seen] == [n for _, n in result["plans"]]
    for _, r in seen:
        check(board, r)
    assert lines[0].startswith("Plan basladi.") and lines[-1].startswith("Plan bitti. durum=")
    assert all(line.endswith("\n") for line in lines)


def test_sorted_and_moveless_boards():
    result = plan([[0, 1, 2], [0, 0, 0]])
    check([[0, 1, 2], [0, 0, 0]], result)
    assert (result["status"], result["num_moves"], result["plans"][0][1]) == ("optimal", 0, 0)
    assert plan([[2, 1]])["status"] == "no_solution"


def test_arguments_are_checked_like_velmora():
    with pytest.raises(ValueError, match="100"):
        plan([[0]] * 101)
    with pytest.raises(TypeError):
        plan("abc")
    with pytest.raises(TypeError):
        plan([[0, 1]], 1.0)  # keyword only
    with pytest.raises(ValueError, match="time_limit"):
        plan([[0, 1]], time_limit=-1)
    assert plan(((0, 257), (0, 0)))["status"] == "optimal"  # tuples, low 8 bits


def test_failing_on_plan_is_reported_and_the_run_goes_on(capfd):
    board = random_board(random.Random(5), 8, 4, 0.6)
    result = plan(board, on_plan=lambda r: 1 / 0, log_fn=lambda line: None)
    check(board, result)
    assert result["status"] == "optimal"
    assert "Plan callback hatasi." in capfd.readouterr().err


def test_ctrl_c_raises_keyboard_interrupt():
    board = unproven_board()
    # Raised from C inside stop_fn: pending, not yet handled, when it returns.
    trip = ctypes.pythonapi.PyErr_SetInterrupt
    trip.restype, trip.argtypes = None, []
    with pytest.raises(KeyboardInterrupt):
        plan(board, num_threads=2, stop_fn=trip)
    # SIGINT while the workers search.
    threads = threading.active_count()
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            plan(board, num_threads=2, time_limit=20)
    finally:  # a plan that ends first fails the test instead of leaving the signal to pytest
        timer.cancel()
        timer.join()
    assert threading.active_count() == threads  # the timer's thread is gone, no worker is left
