"""The entry function: the start line, the empty solution, refusals of bad boards."""

import pytest

from velmora import velmora

EMPTY_SOLUTION = [("num_moves", 0), ("moves", []), ("time", 0.0), ("h_values", [0.0]),
                  ("f_values", [0.0]), ("g_values", [0]), ("nodes_expanded", 0), ("iterations", 0)]


@pytest.mark.parametrize("lanes, kwargs, figures", [
    ([], {"use_dsg_tiebreak": True}, "blokaj=0 g*=5 DS=0 h=0.000000 dsg_tiebreak=acik"),
    ([[0, 1, 2], [3, 3], [0, 0]], {}, "blokaj=0 g*=5 DS=-2 h=0.000000 dsg_tiebreak=kapali"),
    ([[7, 6]], {}, "blokaj=0 g*=5 DS=0 h=0.000000 dsg_tiebreak=kapali"),
    ([[0, 9, 8, 1]], {}, "blokaj=0 g*=5 DS=0 h=0.000000 dsg_tiebreak=kapali"),
    ([[0, 3, 1], [0, 0, 2], [0, 0, 0]], {}, "blokaj=1 g*=3 DS=-2 h=1.000000 dsg_tiebreak=kapali"),
    ([[0, 0, 0], [0, 0, 1], [2, 1, 2], [5, 4, 5]], {"use_dsg_tiebreak": 1},
     "blokaj=2 g*=5 DS=-2 h=2.000000 dsg_tiebreak=acik"),
    # Only the low eight bits count: 0, 2, 1, 1 / four empty slots.
    ([[256, 258, 1, -255], [512, 0, 0, 0]], {}, "blokaj=1 g*=2 DS=-3 h=1.000000 dsg_tiebreak=kapali"),
])
def test_start_line_and_the_empty_solution_of_a_solved_board(lanes, kwargs, figures):
    lines = []
    result = velmora(lanes, log_fn=lines.append, stop_fn=lambda: True, **kwargs)
    assert lines[0] == f"IDA* basladi. {figures}\n"
    if figures.startswith("blokaj=0 "):
        assert list(result.items()) == EMPTY_SOLUTION and len(lines) == 1
    else:
        assert result is None and lines[1:] == ["IDA* durduruldu, None donuluyor.\n"]


@pytest.mark.parametrize("lanes, error, match", [
    *[(lanes, TypeError, "incompatible function arguments") for lanes in [
        None, "abc", b"ab", ["01"], [b"\0"], [1, 2], [[1.5]], [["1"]], [[2**31]],
        [[-(2**31) - 1]], [None], {1: [0]}]],
    ([[1]] * 101, ValueError, "101"), ([[0] * 2001], ValueError, "2001"),
    ([[0] * 21] * 100, ValueError, "2100"), ([list(range(1, 22))], ValueError, "21"),
    ([[1] * 20 + [257]], ValueError, "21"), ([[-1] * 21], ValueError, "21"),
    # At the limits: accepted (solved at the start).
    ([[0] * 20 for _ in range(99)] + [list(range(1, 21))], None, None), ([[0] * 2000], None, None),
    ([[0]] * 100, None, None), ([[256, -256, 512] * 5 + [1] * 20], None, None),  # low 8 bits 0: no item
])
def test_bad_boards_are_refused_before_logging_and_boards_at_the_limits_accepted(lanes, error, match):
    lines = []
    if error is None:
        assert velmora(lanes, log_fn=lines.append)["num_moves"] == 0
    else:
        with pytest.raises(error, match=match):
            velmora(lanes, log_fn=lines.append)
        assert lines == []
