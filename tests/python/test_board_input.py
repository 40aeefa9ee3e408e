# Boards past the limits are refused from their lengths, before their values are converted.

import tracemalloc

import pytest

from velmora import velmora

from conftest import ONE_MOVE

pytestmark = pytest.mark.timeout(60)  # an endless generator read to its end never returns


class Claims:  # a sequence whose length says what it is told to
    def __init__(self, length, items):
        self.length, self.items = length, items

    def __len__(self):
        return self.length

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        return iter(self.items)


def endless(value=0):
    while True:
        yield value


@pytest.mark.parametrize("board, text", [
    ([range(10**15)], "too many cells: 1000000000000000 (1 lanes of up to 1000000000000000 slots"),
    ([[0]] * 50 + [range(41)], "too many cells: 2091 (51 lanes of up to 41 slots"),
    (Claims(2**62, [ONE_MOVE[0]]), "too many lanes: 4611686018427387904 (at most 100)"),
    ([Claims(2**62, [1])], "too many cells: 4611686018427387904 (1 lanes of"),
    ([[1]] * 4 + [Claims(2**62, [1])], "too many cells: 18446744073709551615"),  # past size_t
    # Lengths that claim less than the iteration yields, and no length at all.
    (Claims(1, [[0]] * 10**6), "too many lanes: 101 (at most 100)"),
    ([[0], Claims(1, [0] * 10**6)], "too many cells: 2002 (2 lanes of up to 1001 slots"),
    ((lane for lane in [[0]] * 10**6), "too many lanes: 101 (at most 100)"),
    ([endless()], "too many cells: 2001 (1 lanes of up to 2001 slots"),
    # The shape goes first: an unconvertible value past it is not looked at.
    ([["x"]] * 101, "too many lanes: 101"), ([[0] * 2000 + ["x"]], "too many cells: 2001"),
])
def test_a_board_past_the_limits_is_refused_from_its_lengths(board, text):
    tracemalloc.start()
    with pytest.raises(ValueError) as refusal:
        velmora(board, log_fn=pytest.fail, stop_fn=pytest.fail)
    peak = tracemalloc.get_traced_memory()[1]
    tracemalloc.stop()
    assert text in str(refusal.value) and "at most" in str(refusal.value)
    assert peak < 2**20  # no Python list of the board was made on the way


@pytest.mark.parametrize("board", [
    [[0, 1, "x"]], [[2**40]], [b"12"], ["ab"], [1], 5, [[1], (c for c in "ab")], Claims(1, [[0], 3])])
def test_a_board_within_the_limits_that_does_not_convert_is_a_type_error(board):
    with pytest.raises(TypeError, match="incompatible function arguments"):
        velmora(board, log_fn=pytest.fail)


def test_lengths_that_lie_within_the_limits_convert_as_iterated():
    result = velmora(Claims(99, [Claims(0, lane) for lane in ONE_MOVE]), log_fn=lambda line: None)
    assert result["moves"] == velmora(ONE_MOVE, log_fn=lambda line: None)["moves"]
