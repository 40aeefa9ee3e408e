# `velmora batch`: records as single `solve --json` give them, resume after a kill, Ctrl-C, Dask.

import io
import json
import os
import random
import signal
import subprocess
import sys
import time

import pytest

import velmora as velmora_module

from conftest import ENV, EXHAUSTED, NO_MOVE, PUZZLES, random_board, reachable
from velmora_cli import cli
from velmora_cli.display import Bar

LIMIT = "0.3"  # seconds a board: HARD is stopped
HARD = json.loads((PUZZLES / "hard.json").read_text())["lanes"]  # 15 s or more at one worker


def solvable(rng):  # 6 lanes of 4 slots, 12 items: a board that conftest.reachable sorts
    while (found := reachable(board := random_board(rng, 6, 4, 12), 3_000)) is None or not found[0]:
        pass
    return board


@pytest.fixture(scope="module")
def yard(tmp_path_factory):
    # 30 mixed board files: solvable (JSON and bay), unsolvable, stopped at LIMIT, bad.
    folder = tmp_path_factory.mktemp("yard")
    rng = random.Random(21)
    boards = [solvable(rng) for _ in range(19)] + [EXHAUSTED, NO_MOVE, [[2, 1]]] + [HARD] * 3
    for i, lanes in enumerate(boards):
        (folder / f"b{i:02}.json").write_text(json.dumps({"lanes": lanes}))
    (folder / "sub").mkdir()
    for name in ("bay-small.txt", "bay-medium.txt"):
        (folder / "sub" / name).write_text((PUZZLES / name).read_text())
    (folder / "sub" / "broken.json").write_text("[[1, 2]")
    (folder / "sub" / "bad.bay").write_text("Tiers: 2\nStacks: 1\nContainers: 1\nStack 1: 7\n")
    (folder / "sub" / "latin1.txt").write_bytes(b"Name: K\xf6ln\n")
    (folder / "notes.md").write_text("not a board file: skipped")
    return folder


def batch(*args, **kwargs):
    return subprocess.run([sys.executable, "-m", "velmora_cli", "batch", *map(str, args)],
                          capture_output=True, text=True, env=ENV, timeout=300, **kwargs)


def records(path):
    return [json.loads(line) for line in path.read_text().splitlines()]


def single(path):  # what `velmora solve --json` says of one file: (exit code, JSON, stderr)
    out, err = io.StringIO(), io.StringIO()
    bay = ["--bay"] if not path.suffix == ".json" else []
    code = cli.solve_script(["--json", "--quiet", "--threads", "1", "--time-limit", LIMIT, *bay,
                             str(path)], stdin=io.StringIO(), stdout=out, stderr=err)
    return code, json.loads(out.getvalue() or "null"), err.getvalue()


@pytest.fixture(scope="module")
def local(yard, tmp_path_factory):
    out = tmp_path_factory.mktemp("local") / "out.jsonl"
    proc = batch(yard, "--out", out, "--csv", out.with_suffix(".csv"), "--time-limit", LIMIT,
                 "--threads", "1", "--jobs", "2")
    assert proc.returncode == 0, proc.stderr
    return proc, out


def test_each_record_says_what_a_single_solve_says(yard, local):
    proc, out = local
    got = {r["name"]: r for r in records(out)}
    assert sorted(got) == sorted(str(p) for p in yard.rglob("*") if p.suffix != ".md"
                                 and p.is_file())
    for name, r in got.items():
        code, doc, err = single(yard / name)
        if code == 2:  # a bad file is reported on its own line, and the batch goes on
            assert (r["status"], r["moves"]) == ("bad_input", None) and r["error"] in err, r
            continue
        assert (r["status"], code) in [("solved", 0), ("no_solution", 1), ("stopped", 3)]
        assert r["status"] == doc["status"], name
        if code == 0:
            result = doc["result"]
            assert (r["moves"], r["num_moves"], r["nodes"]) == (
                result["moves"], result["num_moves"], result["nodes_expanded"]), name
    counts = {s: sum(r["status"] == s for r in got.values()) for s in
              ("solved", "no_solution", "stopped", "bad_input")}
    assert counts == {"solved": 21, "no_solution": 3, "stopped": 3, "bad_input": 3}
    # The summary table on stdout, one plain line per board on standard error.
    table = {line.split()[0]: line.split()[1] for line in proc.stdout.splitlines()[1:]}
    assert table == {"solved": "21", "no_solution": "3", "stopped": "3", "bad_input": "3",
                     "total": "30"}
    assert proc.stderr.count("\n") == 30 and "[30/30] " in proc.stderr
    rows = out.with_suffix(".csv").read_text().splitlines()
    assert rows[0] == "name,status,moves,num_moves,nodes,seconds,error" and len(rows) == 31


def test_a_killed_batch_resumes_without_solving_a_board_twice(tmp_path):
    for i in range(8):
        (tmp_path / f"long{i}.json").write_text(json.dumps(HARD))
    out = tmp_path / "out.jsonl"
    args = [sys.executable, "-m", "velmora_cli", "batch", tmp_path, "--out", out,
            "--time-limit", "0.2", "--jobs", "1"]
    proc = subprocess.Popen(list(map(str, args)), env=ENV, start_new_session=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not out.exists() or out.read_text().count("\n") < 2:
        assert proc.poll() is None, "ended before it was killed"
        time.sleep(0.02)
    os.killpg(proc.pid, signal.SIGKILL)  # the batch and its pool's processes
    proc.wait()
    first = records(out)
    assert 2 <= len(first) < 8
    with open(out, "a") as f:
        f.write('{"name": "cut short')  # as a kill in the middle of a line would leave it
    listed = tmp_path / "boards.list"  # the same boards, named in a list this time
    listed.write_text("".join(f"{tmp_path / f'long{i}.json'}\n" for i in range(8)))
    again = batch("--list", listed, "--out", out, "--time-limit", "0.2", "--jobs", "1")
    assert again.returncode == 0, again.stderr
    assert f"{len(first)} of 8 boards already in" in again.stderr
    names = [r["name"] for r in records(out)]
    assert sorted(names) == sorted(str(p) for p in tmp_path.glob("*.json")) and names[
        :len(first)] == [r["name"] for r in first]


def test_ctrl_c_stops_the_boards_in_flight_and_leaves_out_valid(tmp_path):
    for i in range(6):
        (tmp_path / f"long{i}.json").write_text(json.dumps(HARD))
    (tmp_path / "a.json").write_text((PUZZLES / "tiny.json").read_text())  # first in line
    out = tmp_path / "out.jsonl"
    args = [sys.executable, "-m", "velmora_cli", "batch", tmp_path, "--out", out,
            "--time-limit", "30", "--jobs", "2"]
    proc = subprocess.Popen(list(map(str, args)), env=ENV, start_new_session=True, text=True,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    while not out.exists() or out.read_text().count("\n") < 1:  # a.json is done
        assert proc.poll() is None, proc.communicate()
        time.sleep(0.02)
    time.sleep(0.3)  # two boards of 30 s are in flight
    start = time.monotonic()
    os.killpg(proc.pid, signal.SIGINT)  # what Ctrl-C on a terminal sends
    stdout, stderr = proc.communicate(timeout=60)
    assert proc.returncode == 130 and time.monotonic() - start < 10, stderr
    assert "interrupted (Ctrl-C): 1 of 7 boards in" in stderr and "Traceback" not in stderr
    assert [r["name"] for r in records(out)] == [str(tmp_path / "a.json")]
    assert "total" in stdout


def test_a_progress_bar_on_a_terminal_counts_by_status():
    class Terminal(io.StringIO):
        def isatty(self):
            return True

    err = Terminal()
    bar = Bar(err, total=3)
    for status in ("solved", "stopped", "solved"):
        bar.add({"name": "x", "status": status, "num_moves": 1, "seconds": 0.1})
    bar.close()
    last = err.getvalue().split("\r")[-1]
    assert "3/3" in last and "solved 2 · stopped 1" in last and "board/s" in last


def test_a_cluster_without_dask_says_how_to_get_it(yard, tmp_path, monkeypatch, capsys):
    monkeypatch.setitem(sys.modules, "distributed", None)
    code = cli.main(["batch", str(yard / "b00.json"), "--out", str(tmp_path / "o"),
                     "--scheduler", "tcp://127.0.0.1:1"])
    assert code == 2 and "pip install 'velmora[cluster]'" in capsys.readouterr().err


@pytest.mark.filterwarnings("ignore::DeprecationWarning")
def test_a_local_cluster_of_two_processes_gives_the_same_records(yard, local, tmp_path):
    distributed = pytest.importorskip("distributed")
    out = tmp_path / "out.jsonl"
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        proc = batch(yard, "--out", out, "--time-limit", LIMIT, "--threads", "1",
                     "--scheduler", cluster.scheduler_address)
    assert proc.returncode == 0, proc.stderr
    keep = ("status", "moves", "num_moves", "nodes", "error")
    same = {r["name"]: [r[k] for k in keep] for r in records(local[1])}
    assert {r["name"]: [r[k] for k in keep] for r in records(out)} == same


@pytest.mark.skipif(not hasattr(velmora_module, "plan"), reason="velmora.plan() not built")
def test_the_shortest_engine_reports_its_lower_bound(yard, tmp_path, local):
    out = tmp_path / "out.jsonl"
    names = [yard / f"b{i:02}.json" for i in range(5)] + [yard / "b22.json", yard / "b20.json"]
    proc = batch(*names, "--out", out, "--engine", "shortest", "--time-limit", LIMIT)
    assert proc.returncode == 0, proc.stderr
    # Within the limit either engine may be cut short: a plan carries its
    # bound, an optimal one is no longer than the first engine's solution,
    # and a board without a plan ends as it did there, or stopped.
    first = {r["name"]: r for r in records(local[1])}
    for r in records(out):
        f = first[r["name"]]
        if r["status"] == "solved":
            assert r["lower_bound"] <= r["num_moves"], r
            assert not r["optimal"] or r["lower_bound"] == r["num_moves"], r
            assert not (r["optimal"] and f["status"] == "solved") or \
                r["num_moves"] <= f["num_moves"], (r, f)
        else:
            assert r["status"] in (f["status"], "stopped") and r["optimal"] is False, (r, f)
    out_json = subprocess.run([sys.executable, "-m", "velmora_cli", "solve", "--json",
                               "--engine", "shortest", str(PUZZLES / "small.json")],
                              capture_output=True, text=True, env=ENV, timeout=120)
    doc = json.loads(out_json.stdout)
    assert (out_json.returncode, doc["status"], doc["result"]["status"]) == (0, "solved", "optimal")
