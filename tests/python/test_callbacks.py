"""Log lines and the log callable: where the text goes, and what a failing
log callable does."""

import subprocess
import sys
import textwrap

from velmora import velmora

BOARD = [[0, 3, 1], [0, 0, 2], [0, 0, 0]]


def run_python(code):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          timeout=60, env={"PYTHONPATH": ":".join(sys.path)})


def test_without_log_fn_lines_go_to_standard_output_byte_for_byte():
    proc = run_python("""
        from velmora import velmora
        print(velmora([[0, 3, 1], [0, 0, 2], [0, 0, 0]], stop_fn=lambda: True), flush=True)
    """)
    assert proc.returncode == 0, proc.stderr
    lines = proc.stdout.decode().splitlines(keepends=True)
    assert sorted(lines) == sorted([
        "IDA* basladi. blokaj=1 g*=3 DS=-2 h=1.000000 dsg_tiebreak=kapali\n",
        "IDA* durduruldu, None donuluyor.\n",
        "None\n",
    ])
    assert proc.stderr == b""


def test_log_fn_receives_str_lines():
    lines = []
    velmora(BOARD, log_fn=lines.append, stop_fn=lambda: True)
    assert all(type(line) is str for line in lines)
    assert lines == ["IDA* basladi. blokaj=1 g*=3 DS=-2 h=1.000000 dsg_tiebreak=kapali\n",
                     "IDA* durduruldu, None donuluyor.\n"]


def test_failing_log_fn_is_reported_once_per_line_and_the_run_goes_on():
    proc = run_python("""
        import sys
        from velmora import velmora
        def bad(text):
            raise RuntimeError("boom")
        for log_fn in (bad, 5):
            r = velmora([[0, 2, 1], [0, 0, 3]], log_fn=log_fn, num_threads=1)
            assert r["num_moves"] >= 1, r
        assert sys.exc_info() == (None, None, None)
        print("ok")
    """)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout == b"ok\n"
    failures = proc.stderr.decode().splitlines(keepends=True)
    assert failures and set(failures) == {"Log callback hatasi.\n"}
    # Each of the two runs logs the same lines, so the count splits evenly.
    assert len(failures) % 2 == 0


def test_log_fn_result_is_ignored():
    seen = []
    result = velmora([[0, 2, 1], [0, 0, 3]], log_fn=lambda s: seen.append(s) or "ignored",
                     num_threads=1)
    assert result["num_moves"] >= 1 and seen[-1].startswith("Cozum bulundu! adim=")
