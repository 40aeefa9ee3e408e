"""The entry function: solved at start, start-line figures, conversions, limits."""

import pytest

from velmora import velmora

from conftest import blokaj, replay


def start_line(lanes, **kwargs):
    lines = []
    velmora(lanes, log_fn=lines.append, stop_fn=lambda: True, **kwargs)
    return lines[0]


@pytest.mark.parametrize("lanes", [[], [[0, 1, 2], [3, 3], [0, 0]], [[7, 6]], [[0, 9, 8, 1]]])
def test_solved_at_start_returns_the_empty_solution(lanes):
    lines = []
    result = velmora(lanes, log_fn=lines.append)
    assert list(result.items()) == [("num_moves", 0), ("moves", []), ("time", 0.0),
                                    ("h_values", [0.0]), ("f_values", [0.0]), ("g_values", [0]),
                                    ("nodes_expanded", 0), ("iterations", 0)]
    assert len(lines) == 1 and lines[0].startswith("IDA* basladi. blokaj=0 g*=5 DS=")


@pytest.mark.parametrize("lanes, kwargs, expected", [
    ([[0, 3, 1], [0, 0, 2], [0, 0, 0]], {}, "blokaj=1 g*=3 DS=-2 h=1.000000 dsg_tiebreak=kapali"),
    ([[0, 2, 1], [0, 0, 3]], {}, "blokaj=1 g*=2 DS=1 h=2.000000 dsg_tiebreak=kapali"),
    ([[0, 0, 0], [0, 0, 1], [2, 1, 2], [5, 4, 5]], {"use_dsg_tiebreak": 1},
     "blokaj=2 g*=5 DS=-2 h=2.000000 dsg_tiebreak=acik"),
    ([[3, 1], [4, 2]], {}, "blokaj=2 g*=3 DS=2 h=3.000000 dsg_tiebreak=kapali"),
    ([], {"use_dsg_tiebreak": True}, "blokaj=0 g*=5 DS=0 h=0.000000 dsg_tiebreak=acik"),
])
def test_start_line_figures(lanes, kwargs, expected):
    assert start_line(lanes, **kwargs) == f"IDA* basladi. {expected}\n"


def test_only_the_low_eight_bits_count():
    assert start_line([[256, 258, 1, -255], [512, 0, 0, 0]]) == start_line([[0, 2, 1, 1], [0] * 4])
    lanes = [[-1, 2, 1], [0, 0, 0]]  # the item 255 sits in front of a broken lane
    result = velmora(lanes, num_threads=1, log_fn=lambda s: None)
    assert result["moves"][0][4] == 255 and blokaj(replay(lanes, result)) == 0


@pytest.mark.parametrize("lanes", [None, "abc", b"ab", ["01"], [b"\0"], [1, 2], [[1.5]], [["1"]],
                                   [[2**31]], [[-(2**31) - 1]], [None], {1: [0]}])
def test_unconvertible_lanes_raise_type_error(lanes):
    lines = []
    with pytest.raises(TypeError, match="incompatible function arguments"):
        velmora(lanes, log_fn=lines.append)
    assert lines == []


@pytest.mark.parametrize("lanes, refusal", [
    ([[1]] * 101, "101"), ([[0] * 2001], "2001"), ([[0] * 21] * 100, "2100"),
    ([list(range(1, 22))], "21"), ([[1] * 20 + [257]], "21"), ([[-1] * 21], "21"),
    ([[0] * 20 for _ in range(99)] + [list(range(1, 21))], None), ([[0] * 2000], None),
    ([[0]] * 100, None), ([[256, -256, 512] * 5 + [1] * 20], None),  # low 8 bits 0: no item
])
def test_boards_beyond_the_limits_are_refused_before_logging_and_at_them_accepted(lanes, refusal):
    lines = []
    if refusal is None:
        assert velmora(lanes, log_fn=lines.append)["num_moves"] == 0
    else:
        with pytest.raises(ValueError, match=refusal):
            velmora(lanes, log_fn=lines.append)
        assert lines == []
