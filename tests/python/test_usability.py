"""What a user meets first: the type stub (checked against the real module)
and the command-line solver examples/solve.py with its exit codes."""

import ast
import io
import json
import re

import pytest

from velmora import velmora

from conftest import MODULE_DIR, ONE_MOVE, PUZZLES, REPO, run_cli, run_main

STUB = REPO / "src" / "module" / "velmora.pyi"


def parameters(fn):
    """(name, default) of a parsed function's parameters; "-" when it has none."""
    args, defaults = fn.args.args, [ast.literal_eval(d) for d in fn.args.defaults]
    return list(zip([a.arg for a in args], ["-"] * (len(args) - len(defaults)) + defaults))


def stub(name):
    return next(node for node in ast.parse(STUB.read_text()).body if name in (
        getattr(node, "name", ""), getattr(getattr(node, "target", None), "id", "")))


def test_stub_parameters_and_defaults_match_the_module():
    fn = stub("velmora")
    binding = ast.parse(f"def {velmora.__doc__.splitlines()[0]}: ...").body[0]
    assert parameters(fn) == parameters(binding)
    assert not fn.args.kwonlyargs and not fn.args.posonlyargs and not fn.args.vararg
    assert (MODULE_DIR / "velmora.pyi").read_text() == STUB.read_text()


def test_stub_result_keys_and_types_match_a_real_result():
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


@pytest.mark.parametrize("args, code, printed", [
    (["tiny.json"], 0, lambda out: "  1. lane 0 → lane 2: item 3\n" in out
     and out.endswith("\nsolved in 1 move\n")),
    (["stuck.json"], 1, lambda out: "no solution" in out and "solved" not in out),
    (["--json", "stuck.json"], 1, lambda out: json.loads(out)["status"] == "no_solution"),
    (["--json", "--time-limit", "0.5", "hard.json"], 3,
     lambda out: json.loads(out) == {"status": "stopped", "result": None, "board_after": None}),
], ids=["solved", "no-solution", "no-solution-json", "stopped"])
def test_exit_codes_and_what_is_printed(args, code, printed):
    proc = run_cli(*[PUZZLES / arg if arg.endswith(".json") else arg for arg in args])
    assert proc.returncode == code and printed(proc.stdout), proc.stdout + proc.stderr


@pytest.mark.parametrize("args, text, message", [
    ([], "[[1, 2]", "not JSON"),
    ([], "[[1], [0, 2.5]]", "lane 1, slot 1"),
    ([], json.dumps([[1]] * 101), "101"),  # refused by the module
    (["--threads", "x"], "[[1]]", "--threads"),
    (["nope.json"], "", "nope.json"),
])
def test_bad_input_exits_2_with_a_message_and_no_traceback(args, text, message):
    proc = run_cli(*args, input=text)
    assert proc.returncode == 2, proc.stdout
    assert message in proc.stderr and "Traceback" not in proc.stderr


@pytest.mark.parametrize("moves", [[], [(0, 1, 2, 0, 3, 1, 0.0, 1.0, 0.0)]])
def test_an_answer_that_does_not_replay_exits_4(moves):
    def lying(lanes, **kwargs):
        return {"num_moves": len(moves), "moves": moves, "time": 0.0, "h_values": [1.0],
                "f_values": [1.0], "g_values": [0], "nodes_expanded": 0, "iterations": 1}

    code, _, out, err = run_main(solver=lying)
    assert code == 4 and "solved" not in out and "does not check out" in err


class InterruptedOnce(io.StringIO):
    def write(self, text):
        self.write = super().write
        raise KeyboardInterrupt


def test_ctrl_c_in_the_log_callable_stops_the_search_and_exits_130():
    # The module would count it as a lost log line: the CLI must ask to stop.
    answers = []

    def fake(lanes, log_fn, stop_fn, **kwargs):
        log_fn("Iterasyon 1 | esik=1.000000 | 1 thread aciliyor\n")  # drawn on stderr
        answers.append(stop_fn())

    code, _, _, err = run_main("--threads", "1", solver=fake, err=InterruptedOnce())
    assert (code, answers) == (130, [True]) and "interrupted" in err
