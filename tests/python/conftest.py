"""Shared helpers: an independent Python model of the move rules, used to
check what the module returns."""

import pytest


def low8(board):
    return [[v & 0xFF for v in lane] for lane in board]


def front_slot(lane):
    return next((s for s, v in enumerate(lane) if v), -1)


def misplaced_levels(lane):
    """Misplaced items of levels 1..5 in one lane: the items in front of the
    longest run, ending at the back item, whose values never decrease."""
    items = [v for v in lane if v]
    k = len(items) - 1
    while k > 0 and items[k - 1] <= items[k]:
        k -= 1
    return sum(1 for v in items[:k] if 1 <= v <= 5)


def blokaj(board):
    return sum(misplaced_levels(lane) for lane in board)


def apply(board, src, dst):
    """The board after moving the front item of src in front of dst's items."""
    board = [list(lane) for lane in board]
    a = front_slot(board[src])
    assert a >= 0, f"lane {src} has no item"
    item, board[src][a] = board[src][a], 0
    b = front_slot(board[dst])
    assert b != 0 and board[dst], f"lane {dst} is full"
    d = b - 1 if b > 0 else len(board[dst]) - 1
    board[dst][d] = item
    return board, a, d, item


def replay(lanes, result):
    """Replays a result's moves on `lanes`, checking every tuple against the
    replay, and returns the final board."""
    board = low8(lanes)
    assert result["num_moves"] == len(result["moves"])
    for g, move in enumerate(result["moves"], start=1):
        src, src_slot, dst, dst_slot, item, mg, h, f, aux = move
        board, a, d, moved = apply(board, src, dst)
        assert (src_slot, dst_slot, item, mg, aux) == (a, d, moved, g, 0.0)
        assert f == mg + h and h >= 0
        assert h == result["h_values"][g] and f == result["f_values"][g]
    assert result["g_values"] == list(range(result["num_moves"] + 1))
    return board


@pytest.fixture
def log():
    lines = []
    lines.append_line = lines.append  # readable in calls: log_fn=log.append
    return lines
