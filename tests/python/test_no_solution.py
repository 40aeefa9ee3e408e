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


def test_tight_boards_are_solved_or_end_by_themselves_within_ten_seconds():
    # 25 solvable and 25 unsolvable tight boards within 30,000 positions, and LARGE.
    rng, kinds = random.Random(20261207), {False: [], True: []}
    while min(map(len, kinds.values())) < 25:
        board = tight_board(rng)
        found = reachable(board, 30_000)
        if found is not None and len(kinds[found[0]]) < 25:
            kinds[found[0]].append((board, found[1]))
    assert reachable(LARGE) == (False, 151_200)
    kinds[False].append((LARGE, 151_200))
    sizes = sorted(size for _, size in kinds[False])
    assert sizes[0] < 100 and sizes[-2] > 3_000  # small and larger spaces among them
    for solvable, (board, size) in [(kind, b) for kind in (True, False) for b in kinds[kind]]:
        lines, started = [], time.monotonic()
        result = velmora(board, log_fn=lines.append, num_threads=2,
                         stop_fn=lambda: time.monotonic() > started + 60)  # fails, not hangs
        assert time.monotonic() - started < 10, (board, size)
        if solvable:
            assert check_outcome(board, result, lines) == "solved", board
            continue
        assert result is None and END.fullmatch(lines[-1]), (board, size, lines[-1])
        # Small spaces are settled before the first iteration.
        assert size > 5_000 or not any(line.startswith("Iterasyon") for line in lines), board
