"""Log and stop callables: where lines go, failing and hostile callables, stop answers."""

import re
import sys

import pytest

from velmora import velmora

from conftest import ONE_MOVE, STOP_BEFORE, THREE_ITERATIONS, TRAP, check_outcome, run_python

pytestmark = pytest.mark.timeout(60)  # a run that is never stopped fails instead of hanging


def raising(exc):
    def fn(*_args):
        raise exc
    return fn


def test_without_log_fn_lines_go_to_standard_output_byte_for_byte():
    proc = run_python("""
        import sys
        from velmora import velmora
        lines = []
        for log_fn in (None, lines.append):
            velmora([[0, 0, 0], [0, 0, 1], [2, 1, 2], [5, 4, 5]], log_fn=log_fn, num_threads=1)
            velmora([[0, 3, 1], [0, 0, 2], [0, 0, 0]], log_fn=log_fn, stop_fn=lambda: True)
        sys.stderr.write("".join(lines))
    """)
    untimed = [re.sub(r"sure=[0-9.]+", "", text) for text in (proc.stdout, proc.stderr)]
    assert proc.returncode == 0 and untimed[0] == untimed[1] != "", proc.stderr


@pytest.mark.parametrize("log_fn, slot, answer", [
    (raising(LookupError), "stop_fn", 0), (raising(KeyboardInterrupt), "stop_get_best_fn", None),
    (raising(SystemExit(3)), "stop_fn", 0.0), (5, "stop_get_best_fn", False),
    (lambda: None, "stop_fn", None), (print, "stop_get_best_fn", 0)])
def test_failing_log_fn_and_false_like_stop_answers_change_nothing(log_fn, slot, answer, capfd):
    for board in (ONE_MOVE, THREE_ITERATIONS):
        want_lines, calls = [], []
        want = velmora(board, log_fn=want_lines.append, num_threads=1)
        result = velmora(board, log_fn=log_fn, num_threads=1,
                         **{slot: lambda: calls.append(1) or answer})
        assert sys.exc_info() == (None, None, None) and result.pop("time") > 0 < want.pop("time")
        failures = "" if log_fn is print else "Log callback hatasi.\n" * len(want_lines)
        assert (result, capfd.readouterr().err) == (want, failures)
        assert len(calls) >= want["iterations"]


ODD = [type("Odd", (), {"__len__": lambda self: 0})(),  # a length, no truth method
       type("BadBool", (), {"__bool__": raising(LookupError)})()]


@pytest.mark.parametrize("slot", ["stop_fn", "stop_get_best_fn"])
@pytest.mark.parametrize("stop", [(lambda v: lambda: v)(v) for v in [True, 1, 2.5, "no", [], *ODD]]
                         + [raising(LookupError), raising(KeyboardInterrupt), raising(SystemExit),
                            7, lambda flag: flag])
def test_true_unreadable_and_failing_stops_stop_at_the_first_poll(slot, stop):
    lines = []
    assert velmora(TRAP, log_fn=lines.append, **{slot: stop}) is None
    assert sys.exc_info() == (None, None, None) and lines[1:] == [STOP_BEFORE]


def test_callables_that_call_velmora_themselves():
    def solve(board, then=lambda r: r):
        lines = []
        result = velmora(board, log_fn=lines.append, num_threads=2)
        check_outcome(board, result, lines)
        return then(result)

    lines, inner = [], []
    log = lambda line: lines.append(line) or line.startswith(  # noqa: E731
        "Iterasyon 1 ") and inner.append(solve(ONE_MOVE)["num_moves"])
    result = velmora(THREE_ITERATIONS, log_fn=log, num_threads=3,
                     stop_fn=lambda: solve(TRAP, lambda r: r is None))
    check_outcome(THREE_ITERATIONS, result, lines)
    assert inner == [1]
