"""The entry function: conversions, limits, the start state and the result
of a board that is solved at the start."""

import pytest

from velmora import velmora

from conftest import blokaj, replay

STOP = lambda: True  # noqa: E731


def start_line(lanes, **kwargs):
    lines = []
    assert velmora(lanes, log_fn=lines.append, stop_fn=STOP, **kwargs) is None or blokaj(lanes) == 0
    return lines[0]


class TestSolvedAtStart:
    @pytest.mark.parametrize("lanes", [[], [[]], [[0, 1, 2], [3, 3], [0, 0]], [[7, 6]], [[0, 9, 8, 1]]])
    def test_returns_the_empty_solution_at_once(self, lanes):
        lines = []
        result = velmora(lanes, log_fn=lines.append)
        assert list(result) == ["num_moves", "moves", "time", "h_values", "f_values",
                                "g_values", "nodes_expanded", "iterations"]
        assert result == {"num_moves": 0, "moves": [], "time": 0.0, "h_values": [0.0],
                          "f_values": [0.0], "g_values": [0], "nodes_expanded": 0,
                          "iterations": 0}
        assert len(lines) == 1 and lines[0].startswith("IDA* basladi. blokaj=0 g*=5 ")

    def test_empty_board_start_line(self):
        lines = []
        velmora([], log_fn=lines.append, use_dsg_tiebreak=True)
        assert lines == ["IDA* basladi. blokaj=0 g*=5 DS=0 h=0.000000 dsg_tiebreak=acik\n"]


class TestStartLine:
    @pytest.mark.parametrize("lanes, expected", [
        ([[0, 3, 1], [0, 0, 2], [0, 0, 0]], "blokaj=1 g*=3 DS=-2 h=1.000000"),
        ([[0, 2, 1], [0, 0, 3]], "blokaj=1 g*=2 DS=1 h=2.000000"),
        ([[0, 0, 0], [0, 0, 1], [2, 1, 2], [5, 4, 5]], "blokaj=2 g*=5 DS=-2 h=2.000000"),
        ([[3, 1], [4, 2]], "blokaj=2 g*=3 DS=2 h=3.000000"),
    ])
    def test_measures(self, lanes, expected):
        assert start_line(lanes) == f"IDA* basladi. {expected} dsg_tiebreak=kapali\n"

    def test_tiebreak_flag_word(self):
        assert start_line([[0, 2, 1], [0, 0, 3]], use_dsg_tiebreak=1).endswith(" dsg_tiebreak=acik\n")


class TestValues:
    def test_low_eight_bits_are_kept(self):
        # 256 is an empty slot, 258 the item 2: one misplaced 2.
        assert start_line([[256, 258, 1], [0, 0, 0]]).startswith("IDA* basladi. blokaj=1 g*=2 ")

    def test_minus_one_is_item_255(self):
        # 255 sits in front of a broken lane and has to move out first.
        lanes = [[-1, 2, 1], [0, 0, 0]]
        result = velmora(lanes, num_threads=1, log_fn=lambda s: None)
        assert result["moves"][0][4] == 255
        assert blokaj(replay(lanes, result)) == 0


class TestConversion:
    @pytest.mark.parametrize("lanes", [None, 5, "abc", b"ab", [1, 2], [[1.5]], [["1"]],
                                       [[2**31]], [[-(2**31) - 1]], [[2**70]], [None]])
    def test_unconvertible_lanes_raise_type_error(self, lanes):
        with pytest.raises(TypeError):
            velmora(lanes)

    @pytest.mark.parametrize("kwargs", [{"use_dsg_tiebreak": "yes"}, {"use_dsg_tiebreak": [1]},
                                        {"num_threads": "2"}, {"num_threads": 2.0},
                                        {"num_threads": 2**40}])
    def test_unconvertible_options_raise_type_error(self, kwargs):
        with pytest.raises(TypeError):
            velmora([], **kwargs)

    def test_other_sequences_are_accepted(self):
        lines = []
        result = velmora(tuple((0, 1, 2) for _ in range(2)), log_fn=lines.append)
        assert result["num_moves"] == 0

    def test_positional_and_keyword_calls_agree(self):
        lanes = [[0, 2, 1], [0, 0, 3]]
        quiet = lambda text: None  # noqa: E731
        a = velmora(lanes, quiet, None, None, True, 1)
        b = velmora(num_threads=1, use_dsg_tiebreak=True, lanes=lanes, log_fn=quiet)
        for r in (a, b):
            r.pop("time")
        assert a == b


class TestLimits:
    @pytest.mark.parametrize("lanes, figure", [
        ([[1]] * 101, "101"),
        ([[0] * 2001], "2001"),
        ([[0] * 21] * 100, "2100"),
        ([list(range(1, 22))], "21"),
    ])
    def test_boards_beyond_the_limits_are_refused_before_logging(self, lanes, figure):
        lines = []
        with pytest.raises(ValueError, match=figure):
            velmora(lanes, log_fn=lines.append)
        assert lines == []

    def test_boards_at_the_limits_are_accepted(self):
        at_limit = [[0] * 20 for _ in range(99)] + [list(range(1, 21))]
        assert velmora(at_limit, log_fn=lambda s: None)["num_moves"] == 0
        # 256 is no item, so a lane of 20 items and some 256s fits.
        assert velmora([[256] * 5 + [1] * 20], log_fn=lambda s: None)["num_moves"] == 0
