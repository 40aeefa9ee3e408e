# Hostile files and broken standard streams: exit 2 with one line, never a traceback; fast, small.

import io
import os
import resource
import subprocess
import sys
import xml.etree.ElementTree as ET

import pytest

from conftest import ENV, ONE_MOVE, PUZZLES, run_main

BAY = "Name: {name}\nTiers: {tiers}\nStacks: 1\nContainers: 1\nStack 1: {value}\n"
LANES = lambda n: "[" + ",".join(["[1]"] * n) + "]"  # noqa: E731  n one-slot lanes


def velmora(*args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, env=(), shell=None,
            limit=None):
    # `velmora ARGS` in a child, of `limit` bytes of address space if given: (exit code, stdout,
    # stderr, CPU seconds; not wall time, which other jobs on the machine stretch).
    cmd = shell or [sys.executable, "-m", "velmora_cli", *map(str, args)]
    proc = subprocess.Popen(cmd, stdin=stdin, stdout=stdout, stderr=subprocess.PIPE,
                            env=dict(ENV, **dict(env)), shell=shell is not None, text=True,
                            preexec_fn=limit and (lambda: resource.setrlimit(resource.RLIMIT_AS,
                                                                             (limit, limit))))
    if stdout == subprocess.PIPE and "pipe closed" in env:
        proc.stdout.close()
    out = proc.stdout.read() if stdout == subprocess.PIPE and not proc.stdout.closed else ""
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    for pipe in (proc.stdout, proc.stderr):
        pipe and pipe.close()
    return proc.returncode, out, err, usage.ru_utime + usage.ru_stime


@pytest.mark.parametrize("name, text, message", [pytest.param(*case, id=case[2][:30]) for case in [
    ("t.txt", BAY.format(name="x", tiers=100_000_000, value=0),
     "line 2: Tiers: 100,000,000 and Stacks: 1: 1 lanes of up to 100,000,000 slots"),
    ("t.txt", BAY.format(name="x", tiers=10_000_000_000, value=0), "Tiers: 1,000,000,000 and"),
    ("t.txt", BAY.format(name="x", tiers=1, value="9" * 5000), "line 5: value 9999999999999999"),
    ("t.txt", BAY.format(name="x", tiers="9" * 5000, value=0), "Tiers: 1,000,000,000 and"),
    ("t.json", f"[[{'1' * 5000}]]", "t.json: a number with thousands of digits"),
    ("t.json", f"[[0, {'1' * 4000}]]", "lane 0, slot 1: 11111111111111111111... is outside 0..255"),
    ("t.json", LANES(1_000_000), "t.json: more than 1 MiB"),
    ("t.json", LANES(200_000), "t.json: 200,000 lanes; the solver takes at most 100"),
    ("t.json", "[" * 100_000, "t.json: JSON nested too deeply"),
    ("t.json", "[[" + ",".join(["1"] * 21) + "]]", "t.json: lane 0 holds 21 items"),
    ("t.json", "[" + ",".join(["[0]"] * 3 + ["[0" + ",0" * 999 + "]"]) + "]", "4,000 cells"),
]])
def test_hostile_file_exits_2_with_one_line_within_a_second_and_100_mb(tmp_path, name, text,
                                                                        message):
    (tmp_path / name).write_text(text)
    bay = ["--bay"] if name.endswith(".txt") else []
    # Within 100 MiB of address space, or an allocation fails: a MemoryError names no line.
    code, out, err, cpu_seconds = velmora("solve", *bay, tmp_path / name, limit=100 << 20)
    assert (code, out, err.count("\n")) == (2, "", 1) and message in err, err
    assert cpu_seconds < 1


def test_streams_closed_full_or_cut_exit_2_with_a_line(tmp_path):
    tiny = PUZZLES / "tiny.json"
    cases = {  # what: (exit code, stdout, stderr) of a shell line
        "stdin closed": velmora(shell=f"{sys.executable} -m velmora_cli solve - <&-"),
        "stdout closed": velmora(shell=f"{sys.executable} -m velmora_cli solve {tiny} >&-"),
        "disk full": velmora(shell=f"{sys.executable} -m velmora_cli solve {tiny} >/dev/full"),
        "pipe cut": velmora("solve", tiny, env={"pipe closed": "1"}),
        "stderr full too": velmora(shell=f"{sys.executable} -m velmora_cli solve x 2>/dev/full"),
    }
    said = {what: (code, err) for what, (code, out, err, *_) in cases.items()}
    assert said == {
        "stdin closed": (2, "velmora: no board: standard input is closed\n"),
        "stdout closed": (2, "velmora: cannot write standard output: it is closed\n"),
        "disk full": (2, "velmora: cannot write standard output: No space left on device\n"),
        "pipe cut": (2, "velmora: cannot write standard output: Broken pipe\n"),
        "stderr full too": (2, "")}  # not 120: the interpreter's last flush has nothing to fail


def test_an_ascii_terminal_gets_plain_glyphs_and_a_bom_is_read_from_any_source(tmp_path):
    code, out, err, *_ = velmora("solve", PUZZLES / "tiny.json", env={"PYTHONIOENCODING": "ascii"})
    assert code == 0 and "  lane 0 | . [3] 1 |" in out and "1. lane 0 -> lane 2: item 3" in out
    (tmp_path / "bom.json").write_bytes(b"\xef\xbb\xbf" + str(ONE_MOVE).encode())
    with open(tmp_path / "bom.json") as piped:
        assert velmora("solve", "--quiet", "-", stdin=piped)[:2] == (0, "solved in 1 move\n")
    assert velmora("solve", "--quiet", tmp_path / "bom.json")[:2] == (0, "solved in 1 move\n")


def test_control_characters_are_escaped_on_the_terminal_and_in_the_svg(tmp_path):
    name = "\x1b[2J\x07\u202e\x9b"  # clear screen, bell, right-to-left override, 8-bit CSI
    (tmp_path / "bay.txt").write_text(BAY.format(name=f"red{name}", tiers=2, value=0))
    svg = tmp_path / "x.svg"
    code, out, err, *_ = velmora("solve", "--bay", tmp_path / "bay.txt", "--svg", svg)
    assert code == 0 and out.startswith("red\\x1b[2J\\x07\\u202e\\x9b\n"), out
    assert not [ch for ch in out if ch in "\x1b\x07\u202e\x9b"]
    title = ET.parse(svg).getroot().find("{http://www.w3.org/2000/svg}text").text
    assert title == "red\\x1b[2J\\x07\\u202e\\x9b"
    # A file name of such bytes, in an error message.
    bad = os.fsencode(tmp_path) + b"/\x1b]0;x\x07\xff.json"
    with open(bad, "w") as f:
        f.write("[")
    code, _, err, *_ = velmora("solve", os.fsdecode(bad))
    assert code == 2 and "\\x1b]0;x\\x07\\udcff.json: not JSON" in err and "\x1b" not in err


class Failing:  # a solver that raises what the module might
    def __init__(self, error):
        self.error = error

    def __call__(self, *_, **__):
        raise self.error


@pytest.mark.parametrize("error", [MemoryError(), RuntimeError("no threads")])
def test_a_failing_module_exits_2_with_one_line(error):
    code, _, out, err = run_main("--quiet", solver=Failing(error), err=io.StringIO())
    assert (code, out, err.count("\n")) == (2, "", 1)
    assert err.startswith(f"solve.py: the solver failed: {type(error).__name__}"), err
