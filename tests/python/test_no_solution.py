"""Boards without a solution end by themselves. Tight boards come from a
generator (conftest.tight_board) and are judged by a plain enumeration of
every reachable position (conftest.reachable), a second opinion that shares
no code with the module."""

import random
import re
import time

import pytest

from velmora import velmora

from conftest import check_outcome, reachable, tight_board

pytestmark = pytest.mark.timeout(300)

END = re.compile(r"Cozum bulunamadi\. sure=\d+\.\d{6}\n")
LARGE = [[0, 5, 5, 3, 5], [5, 1, 4, 4, 1], [0, 5, 1, 1, 3], [0, 3, 2, 3, 3]]  # 151,200 positions


@pytest.fixture(scope="module")
def judged():
    """25 unsolvable and 25 solvable tight boards within 30,000 positions, and LARGE."""
    rng, kinds = random.Random(20261207), {False: [], True: []}
    while min(map(len, kinds.values())) < 25:
        board = tight_board(rng)
        found = reachable(board, 30_000)
        if found is not None and len(kinds[found[0]]) < 25:
            kinds[found[0]].append((board, found[1]))
    assert reachable(LARGE) == (False, 151_200)
    kinds[False].append((LARGE, 151_200))
    return kinds


def timed_run(board):
    lines, started = [], time.monotonic()
    result = velmora(board, log_fn=lines.append, num_threads=2,
                     stop_fn=lambda: time.monotonic() > started + 60)  # fails instead of hanging
    return result, lines, time.monotonic() - started


def test_every_unsolvable_tight_board_ends_by_itself_within_ten_seconds(judged):
    sizes = sorted(size for _, size in judged[False])
    assert sizes[0] < 100 and sizes[-2] > 3_000  # small and larger spaces among them
    for board, size in judged[False]:
        result, lines, seconds = timed_run(board)
        assert result is None and END.fullmatch(lines[-1]), (board, size, lines[-1])
        assert seconds < 10, (board, size, seconds)
        # Small spaces are settled before the first iteration.
        assert size > 5_000 or not any(line.startswith("Iterasyon") for line in lines), board


def test_every_solvable_tight_board_is_solved(judged):
    for board, _ in judged[True]:
        result, lines, _ = timed_run(board)
        assert check_outcome(board, result, lines) == "solved", board
