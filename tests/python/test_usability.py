# What a user meets first: the type stub and examples/solve.py with its exit codes and engines.

import ast
import io
import json
import re

import pytest

import velmora as velmora_module
from velmora import velmora
from velmora_cli.jobs import Options, solve_board

from conftest import MODULE_DIR, ONE_MOVE, PUZZLES, REPO, run_cli, run_main

STUB = REPO / "src" / "module" / "velmora.pyi"


def parameters(fn):  # (name, default) of a parsed function's parameters; "-" for none
    args, defaults = fn.args.args, [ast.literal_eval(d) for d in fn.args.defaults]
    return list(zip([a.arg for a in args], ["-"] * (len(args) - len(defaults)) + defaults))


def stub(name):
    return next(node for node in ast.parse(STUB.read_text()).body if name in (
        getattr(node, "name", ""), getattr(getattr(node, "target", None), "id", "")))


def test_stub_matches_the_module_and_a_real_result():
    fn = stub("velmora")
    binding = ast.parse(f"def {velmora.__doc__.splitlines()[0]}: ...").body[0]
    assert parameters(fn) == parameters(binding)
    assert not fn.args.kwonlyargs and not fn.args.posonlyargs and not fn.args.vararg
    assert (MODULE_DIR / "velmora.pyi").read_text() == STUB.read_text()
    result = velmora(ONE_MOVE, log_fn=lambda _: None, num_threads=1)
    fields = {f.target.id: ast.unparse(f.annotation) for f in stub("Result").body
              if isinstance(f, ast.AnnAssign)}
    assert list(fields) == list(result)
    for key, hint in fields.items():
        outer, _, inner = hint.rstrip("]").partition("[")
        assert type(result[key]).__name__ == outer, key
        assert inner not in ("int", "float") or {type(v).__name__ for v in result[key]} == {inner}
    move_types = re.findall(r"\b(?:int|float)\b", ast.unparse(stub("Move").value))
    assert [type(v).__name__ for v in result["moves"][0]] == move_types


def says(text):
    return lambda proc: text in proc.stderr


@pytest.mark.parametrize("args, text, code, printed", [
    (["tiny.json"], "", 0, lambda p: "  1. lane 0 → lane 2: item 3\n" in p.stdout
     and p.stdout.endswith("\nsolved in 1 move\n")),
    (["--quiet"], json.dumps({"lanes": ONE_MOVE}), 0, lambda p: p.stdout == "solved in 1 move\n"),
    (["stuck.json"], "", 1, lambda p: "no solution" in p.stdout and "solved" not in p.stdout),
    (["--json", "stuck.json"], "", 1, lambda p: json.loads(p.stdout)["status"] == "no_solution"),
    (["--json", "--time-limit", "0.5", "hard.json"], "", 3,
     lambda p: json.loads(p.stdout) == {"status": "stopped", "result": None, "board_after": None}),
    ([], "[[1, 2]", 2, says("not JSON")),  # bad input: exit 2 with a message
    ([], "[[1], [0, 2.5]]", 2, says("lane 1, slot 1")),
    ([], json.dumps([[1]] * 101), 2, says("101")),  # refused by the module
    (["--threads", "x"], "[[1]]", 2, says("--threads")),
    (["nope.json"], "", 2, says("nope.json")),
])
def test_exit_codes_and_what_is_printed(args, text, code, printed):
    proc = run_cli(*[PUZZLES / arg if arg.endswith(".json") else arg for arg in args], input=text)
    assert proc.returncode == code and printed(proc), proc.stdout + proc.stderr
    assert "Traceback" not in proc.stderr


class InterruptedOnce(io.StringIO):
    def write(self, text):
        self.write = super().write
        raise KeyboardInterrupt


def answering(*moves):  # a solver that claims a solution by these moves
    return lambda lanes, **_: {"num_moves": len(moves), "moves": list(moves), "time": 0.0,
                               "h_values": [1.0], "f_values": [1.0], "g_values": [0],
                               "nodes_expanded": 0, "iterations": 1}


def interrupted(lanes, log_fn, stop_fn, **_):
    # The module would count a Ctrl-C in log_fn as a lost log line: the CLI must ask to stop.
    log_fn("Iterasyon 1 | esik=1.000000 | 1 thread aciliyor\n")  # drawn on stderr
    assert stop_fn(), "the CLI did not ask to stop"


@pytest.mark.parametrize("solver, code, message", [
    (answering(), 4, "does not check out"),
    (answering((0, 1, 2, 0, 3, 1, 0.0, 1.0, 0.0)), 4, "does not check out"),
    (interrupted, 130, "interrupted")])
def test_bad_answers_exit_4_and_ctrl_c_in_log_fn_exits_130(solver, code, message):
    got, _, out, err = run_main("--threads", "1", solver=solver,
                                err=InterruptedOnce() if code == 130 else None)
    assert (got, "solved" in out) == (code, False) and message in err, err


def planned(status):  # a stand-in for velmora.plan(): velmora()'s moves, plan's dictionary
    def plan(lanes, *, time_limit=None, num_threads=0, stop_fn=None, on_plan=None, log_fn=None):
        found = velmora(lanes, log_fn=log_fn, stop_fn=stop_fn, num_threads=1)
        keep = status in ("optimal", "feasible")
        return {"status": status, "moves": found["moves"] if keep else [],
                "num_moves": found["num_moves"] if keep else 0, "lower_bound": 1,
                "nodes_expanded": found["nodes_expanded"], "time": found["time"], "plans": 1}
    return plan


@pytest.mark.parametrize("status, code, verdict", [
    ("optimal", 0, "solved in 1 move, the fewest\n"),
    ("feasible", 0, "solved in 1 move, not proven the fewest (lower bound 1)\n"),
    ("stopped", 3, "stopped: no solution within the time limit of 5 s\n"),
    ("no_solution", 1, "no solution: the search tried every sequence of moves it could reach\n")])
def test_the_shortest_engine_says_how_short_and_a_batch_records_its_bound(status, code, verdict,
                                                                         monkeypatch):
    args = ("--engine", "shortest", "--time-limit", "5", "--quiet")
    got, _, out, err = run_main(*args, solver=planned(status))
    assert (got, out, err) == (code, verdict, "")
    got, _, out, _ = run_main(*args, "--json", solver=planned(status))
    assert json.loads(out)["result"]["status"] == status
    # What a batch's worker writes of it.
    monkeypatch.setattr(velmora_module, "plan", planned(status), raising=False)
    got = solve_board("b", ONE_MOVE, Options(engine="shortest", time_limit=5))
    solved = code == 0
    assert (got["status"], got["lower_bound"], got["optimal"], got["num_moves"]) == (
        "solved" if solved else verdict.split(":")[0].replace(" ", "_"), 1,
        status == "optimal", 1 if solved else None)
