"""Hostile arguments: every call either ends correctly (a solution that
replays to a solved board, or None that matches its log line) or raises
TypeError / ValueError with a message; never a crash, a hang or another
exception. Searches are kept short by a stop callable that gives up after a
few polls."""

import sys

import pytest
from hypothesis import HealthCheck, assume, given, settings
from hypothesis import strategies as st

from velmora import velmora

from outcomes import (EXHAUSTED, NO_MOVE, ONE_MOVE, TRAP, StopAfter, check_outcome, quiet,
                      tree_reaches_goal)

FAST = settings(max_examples=300, deadline=None,
                suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])

# Item values around every edge of the one-byte store and the 32-bit range.
values = st.one_of(
    st.just(0),
    st.integers(1, 5),
    st.sampled_from([6, 7, 200, 255, 256, 257, 261, -1, -5, -255, -256, -257,
                     2**31 - 1, -(2**31), 2**31 - 256, 2**31 - 255]),
    st.integers(-(2**31), 2**31 - 1),
)
out_of_range = st.one_of(st.integers(min_value=2**31), st.integers(max_value=-(2**31) - 1))


def small_boards(max_lanes=6, max_len=6, elements=values):
    return st.lists(st.lists(elements, max_size=max_len), max_size=max_lanes)


def items_in(lane):
    return sum(1 for v in lane if v & 0xFF)


def refusal(board):
    """The figure a board beyond the limits must be refused with, or None."""
    if len(board) > 100:
        return str(len(board))
    cells = len(board) * max((len(lane) for lane in board), default=0)
    if cells > 2000:
        return str(cells)
    for lane in board:
        if items_in(lane) > 20:
            return str(items_in(lane))
    return None


def call(lanes, board, polls=3, threads=2, **kwargs):
    """Calls velmora and checks its ending against the plain `board` that
    `lanes` stands for; returns the kind of ending."""
    lines = []
    stopper = StopAfter(polls)
    try:
        result = velmora(lanes, log_fn=lines.append, stop_fn=stopper, num_threads=threads,
                         **kwargs)
    except ValueError as error:
        figure = refusal(board)
        assert figure is not None, f"refused a board within the limits: {error}"
        assert figure in str(error) and lines == []
        return "refused"
    assert refusal(board) is None, "a board beyond the limits was searched"
    assert sys.exc_info() == (None, None, None)
    return check_outcome(board, result, lines, stopper)


# -- wrappers: the same board as other Python containers -------------------

def as_generator(items):
    return (x for x in list(items))


INNER = {
    "list": lambda lane: (list(lane), list(lane)),
    "tuple": lambda lane: (tuple(lane), list(lane)),
    "generator": lambda lane: (as_generator(lane), list(lane)),
    "map": lambda lane: (map(int, lane), list(lane)),
    "dict values": lambda lane: (dict(enumerate(lane)).values(), list(lane)),
}
# Containers that change order or drop repeats: the board is what they yield.
INNER_REORDERED = {
    "set": lambda lane: (lambda s: (s, list(s)))(set(lane)),
    "frozenset": lambda lane: (lambda s: (s, list(s)))(frozenset(lane)),
    "dict keys": lambda lane: (lambda d: (d.keys(), list(d)))(dict.fromkeys(lane)),
}
OUTER = {
    "list": lambda lanes: list(lanes),
    "tuple": lambda lanes: tuple(lanes),
    "generator": as_generator,
    "dict values": lambda lanes: dict(enumerate(lanes)).values(),
    "map": lambda lanes: map(lambda lane: lane, list(lanes)),
}


class TestContainers:
    @FAST
    @given(board=small_boards(), outer=st.sampled_from(sorted(OUTER)),
           inner=st.sampled_from(sorted(INNER)), threads=st.integers(1, 3))
    def test_sequences_and_iterables_give_the_board_they_hold(self, board, outer, inner, threads):
        wrapped = [INNER[inner](lane)[0] for lane in board]
        lanes = OUTER[outer](wrapped)
        if outer in ("list", "tuple") and inner in ("list", "tuple"):
            # Documented: sequences of sequences of int are always accepted.
            call(lanes, board, threads=threads)
            return
        try:
            call(lanes, board, threads=threads)
        except TypeError as error:
            assert "incompatible function arguments" in str(error)

    @FAST
    @given(board=small_boards(elements=st.integers(0, 7)),
           inner=st.sampled_from(sorted(INNER_REORDERED)), outer_set=st.booleans())
    def test_sets_and_keys_give_the_board_in_their_iteration_order(self, board, inner, outer_set):
        pairs = [INNER_REORDERED[inner](lane) for lane in board]
        lanes = [p[0] for p in pairs]
        seen = [p[1] for p in pairs]
        if outer_set:
            frozen = {frozenset(lane) for lane in board}
            lanes = frozen
            seen = [list(lane) for lane in frozen]
        try:
            call(lanes, seen)
        except TypeError as error:
            assert "incompatible function arguments" in str(error)


class TestRejectedValues:
    @FAST
    @given(board=small_boards(max_lanes=4, max_len=4), data=st.data())
    def test_an_unconvertible_element_anywhere_raises_type_error(self, board, data):
        bad = data.draw(st.one_of(
            out_of_range,
            st.floats(allow_nan=True),
            st.sampled_from([None, "1", b"1", "", b"", 1j, [1], (1,), object()]),
        ), label="bad")
        assume(board and any(board))
        lane = data.draw(st.sampled_from([i for i, l in enumerate(board) if l]), label="lane")
        slot = data.draw(st.integers(0, len(board[lane]) - 1), label="slot")
        board[lane][slot] = bad
        lines = []
        with pytest.raises(TypeError, match="incompatible function arguments"):
            velmora(board, log_fn=lines.append, stop_fn=lambda: True)
        assert lines == []

    @pytest.mark.parametrize("lanes", [
        None, 0, 3.5, "", "012", b"", b"\x00\x01", bytearray(b"\x01"), ["012"], [b"\x00\x01"],
        [[0, 1], "01"], [None], [[None]], [[0.0]], [[float("nan")]], [1, 2], [[1], 2],
        [object()], {1: [0]}, [[1, 2], [3, [4]]],
    ])
    def test_what_is_no_sequence_of_sequences_of_int_raises_type_error(self, lanes):
        with pytest.raises(TypeError, match="incompatible function arguments"):
            velmora(lanes, log_fn=quiet, stop_fn=lambda: True)

    def test_an_iterable_that_fails_midway_passes_its_own_error_on(self):
        def lanes():
            yield [0, 2, 1]
            raise ZeroDivisionError("lane source broke")

        class BrokenLength:
            def __len__(self):
                raise OverflowError("no length")

            def __getitem__(self, index):
                raise IndexError(index)

        for bad, error in ((lanes(), ZeroDivisionError), ([BrokenLength()], OverflowError)):
            lines = []
            with pytest.raises((error, TypeError)):
                velmora(bad, log_fn=lines.append)
            assert lines == []
        assert velmora(ONE_MOVE, log_fn=quiet, num_threads=1)["num_moves"] == 1


class TestLimits:
    @settings(max_examples=150, deadline=None,
              suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
    @given(data=st.data())
    def test_boards_at_and_beyond_each_limit(self, data):
        # A shape near the edges: lane count and longest lane around 100 /
        # 2000 cells, and one lane with about 20 items (some of them values
        # whose low 8 bits are 0, which are no items).
        lane_count = data.draw(st.sampled_from([1, 2, 19, 20, 99, 100, 101, 102]), label="lanes")
        edge = 2000 // lane_count
        length = data.draw(st.sampled_from(sorted({1, 3, 20, 21, edge, edge + 1})), label="len")
        ragged = data.draw(st.booleans(), label="ragged")
        board = [[0] * (length if i == 0 or not ragged else i % (length + 1))
                 for i in range(lane_count)]
        items = data.draw(st.integers(0, min(length, 22)), label="items")
        fill = data.draw(st.lists(st.sampled_from([1, 2, 3, 4, 5, 9, 257, -1]),
                                  min_size=items, max_size=items), label="fill")
        board[0][length - items:] = fill
        blanks = data.draw(st.lists(st.sampled_from([256, -256, 512, 2**31 - 256]),
                                    max_size=min(length - items, 25)), label="blanks")
        board[0][:len(blanks)] = blanks
        call(board, board, polls=2)

    @pytest.mark.parametrize("shape, ok", [
        ((100, 20), True), ((101, 1), False), ((100, 21), False), ((1, 2000), True),
        ((1, 2001), False), ((40, 50), True), ((3, 667), False), ((87, 23), False),
        ((0, 0), True), ((100, 0), True), ((2000, 0), False),
    ])
    def test_lane_and_cell_limits(self, shape, ok):
        lanes, length = shape
        board = [[0] * length for _ in range(lanes)]
        if length:
            board[0][-3:] = [2, 1, 3][-length:]  # one misplaced item
        outcome = call(board, board, polls=1)
        assert (outcome != "refused") == ok

    @pytest.mark.parametrize("fill, ok", [
        ([1] * 20, True), ([1] * 21, False), ([1] * 20 + [256, -256, 0], True),
        ([1] * 20 + [257], False), ([1] * 20 + [-1], False), ([2**31 - 1] * 21, False),
        ([-(2**31)] * 30 + [3] * 20, True),
    ])
    def test_items_per_lane_count_non_zero_low_eight_bits(self, fill, ok):
        board = [list(fill), [0] * len(fill)]
        outcome = call(board, board, polls=1)
        assert (outcome != "refused") == ok


class TestSearchOnOddBoards:
    @settings(max_examples=400, deadline=None,
              suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
    @given(board=small_boards(max_lanes=5, max_len=5), threads=st.integers(1, 4),
           polls=st.integers(0, 6), tiebreak=st.booleans())
    def test_ragged_empty_and_byte_wrapping_boards_end_correctly(self, board, threads, polls,
                                                                 tiebreak):
        call(board, board, polls=polls, threads=threads, use_dsg_tiebreak=tiebreak)

    @pytest.mark.parametrize("board", [EXHAUSTED, [[1, 3, 2], [0], []], [[0, 1, 3, 2], [0]]])
    def test_exhausted_trees_end_in_none(self, board):
        assert tree_reaches_goal(board) is False
        assert call(board, board, polls=1000) == "exhausted"

    @pytest.mark.parametrize("board", [NO_MOVE, [[2, 1], []], [[5, 4, 3]], [[], [3, 1]]])
    def test_boards_without_a_move(self, board):
        assert call(board, board) == "no move"


class TestOptions:
    @FAST
    @given(tiebreak=st.one_of(
        st.booleans(), st.none(), st.integers(-3, 3), st.floats(allow_nan=True),
        st.sampled_from(["", "yes", b"", [], [1], {}, object(), 1j])))
    def test_use_dsg_tiebreak_of_any_type(self, tiebreak):
        try:
            outcome = call(TRAP, TRAP, polls=100, use_dsg_tiebreak=tiebreak)
        except TypeError as error:
            assert "incompatible function arguments" in str(error)
            assert not isinstance(tiebreak, (bool, int)), "a bool or int was refused"
            return
        assert outcome == "solved"
        assert not isinstance(tiebreak, (str, bytes)), "a string was taken as a bool"

    @FAST
    @given(threads=st.one_of(
        st.integers(-(2**31), 12), out_of_range, st.none(), st.floats(), st.booleans(),
        st.sampled_from(["2", b"2", [2], object(), 2j])))
    def test_num_threads_of_any_type(self, threads):
        try:
            outcome = call(TRAP, TRAP, polls=100, threads=threads)
        except TypeError as error:
            assert "incompatible function arguments" in str(error)
            assert not (isinstance(threads, int) and -(2**31) <= threads < 2**31), \
                "a 32-bit int was refused"
            return
        assert isinstance(threads, int) and -(2**31) <= threads < 2**31
        assert outcome == "solved"
