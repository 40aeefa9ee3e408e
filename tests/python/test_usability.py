"""What a user of the module meets first: the type stub and the docstring
(checked against the real module), the command-line solver in examples/ and
the shipped puzzles."""

import ast
import importlib.util
import inspect
import io
import json
import os
import re
import signal
import subprocess
import sys
import types
import typing
from pathlib import Path

import pytest

import velmora as velmora_module
from velmora import velmora

from conftest import blokaj, replay

REPO = Path(__file__).resolve().parents[2]
STUB = REPO / "src" / "module" / "velmora.pyi"
SOLVE = REPO / "examples" / "solve.py"
PUZZLES = REPO / "examples" / "puzzles"
MODULE_DIR = Path(velmora_module.__file__).parent

ONE_MOVE = [[0, 3, 1], [0, 0, 2], [0, 0, 0]]  # the 3 goes to lane 2


def quiet(_text):
    pass


def load_solve():
    spec = importlib.util.spec_from_file_location("solve_cli", SOLVE)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


cli = load_solve()


def run_cli(*args, input=None, timeout=120):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8",
           "PYTHONPATH": str(MODULE_DIR)}
    return subprocess.run([sys.executable, str(SOLVE), *map(str, args)], input=input,
                          capture_output=True, text=True, env=env, timeout=timeout,
                          stdin=None if input is not None else subprocess.DEVNULL)


def run_main(*args, solver=None, stdin=""):
    out, err = io.StringIO(), io.StringIO()
    code = cli.main([*map(str, args)], solver=solver, stdin=io.StringIO(stdin), stdout=out,
                    stderr=err)
    return code, out.getvalue(), err.getvalue()


def puzzle(name):
    return json.loads((PUZZLES / name).read_text())


# --- The stub and the docstring against the module ---------------------------------


def load_stub():
    module = types.ModuleType("velmora_stub")
    exec(compile(STUB.read_text(), str(STUB), "exec"), module.__dict__)
    return module


def binding_signature():
    """The parameters as the binding reports them in the docstring's first line,
    as (name, default) pairs; the types are the binding's own spelling."""
    first = velmora.__doc__.splitlines()[0]
    tree = ast.parse(f"def {first}: ...")
    fn = tree.body[0]
    names = [a.arg for a in fn.args.args]
    defaults = [ast.literal_eval(d) for d in fn.args.defaults]
    return list(zip(names, [inspect.Parameter.empty] * (len(names) - len(defaults)) + defaults))


def conforms(value, hint):
    """Whether `value` has the type `hint` (the subset of hints the stub uses)."""
    origin, args = typing.get_origin(hint), typing.get_args(hint)
    if hint is float:
        return type(value) is float
    if hint is int:
        return type(value) is int
    if origin is list:
        return type(value) is list and all(conforms(v, args[0]) for v in value)
    if origin is tuple:
        return (type(value) is tuple and len(value) == len(args)
                and all(conforms(v, a) for v, a in zip(value, args)))
    raise AssertionError(f"unexpected hint {hint!r}")


class TestStub:
    def test_the_stub_beside_the_module_is_the_source_stub(self):
        assert (MODULE_DIR / "velmora.pyi").read_text() == STUB.read_text()

    def test_parameters_and_defaults_match_the_binding(self):
        stub_fn = load_stub().velmora
        params = inspect.signature(stub_fn).parameters.values()
        assert [(p.name, p.default) for p in params] == binding_signature()
        assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in params)

    def test_every_stub_parameter_is_accepted_by_name(self):
        names = inspect.signature(load_stub().velmora).parameters
        kwargs = {"log_fn": quiet, "stop_get_best_fn": lambda: False, "stop_fn": lambda: False,
                  "use_dsg_tiebreak": True, "num_threads": 2}
        assert set(names) == {"lanes", *kwargs}
        assert velmora(lanes=ONE_MOVE, **kwargs)["num_moves"] == 1

    @pytest.mark.parametrize("lanes", [ONE_MOVE, [[0, 2, 1], [0, 0, 3]], [[1, 2]]])
    def test_result_keys_order_and_types_match_real_results(self, lanes):
        stub = load_stub()
        result = velmora(lanes, log_fn=quiet, num_threads=1)
        hints = typing.get_type_hints(stub.Result)
        assert list(hints) == list(result)
        for key, hint in hints.items():
            assert conforms(result[key], hint), (key, result[key])
        assert hints["moves"] == list[stub.Move]

    def test_docstring_names_every_parameter_and_result_key(self):
        doc = velmora.__doc__
        body = doc.split("\n", 1)[1]
        for name in inspect.signature(load_stub().velmora).parameters:
            assert f"{name}:" in body, name
        for key in typing.get_type_hints(load_stub().Result):
            assert key in body, key
        for fact in ("ValueError", "KeyboardInterrupt", "None", "100 lanes", "2000 cells",
                     "20 items"):
            assert fact in body, fact


def mypy(tmp_path, *files):
    env = dict(os.environ, MYPYPATH=str(MODULE_DIR))
    env.pop("PYTHONPATH", None)
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-error-summary", "--hide-error-context",
         "--cache-dir", str(tmp_path / "mypy-cache"), *map(str, files)],
        capture_output=True, text=True, env=env, timeout=300)


needs_mypy = pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="needs mypy")


@needs_mypy
class TestTyping:
    def test_examples_pass_mypy_strict(self, tmp_path):
        proc = mypy(tmp_path, *sorted((REPO / "examples").glob("*.py")))
        assert proc.returncode == 0, proc.stdout + proc.stderr

    def test_mypy_catches_misuse_through_the_stub(self, tmp_path):
        bad = tmp_path / "misuse.py"
        lines = [
            "from velmora import velmora, Result, Move",
            "r = velmora([[1, 2]])",
            "n: int = r['num_moves']",                         # r may be None
            "velmora([[1, 2]], log_fn=lambda: None)",          # log_fn takes one str
            "velmora([[1, 2]], stop_fn=lambda s: True)",       # stop_fn takes nothing
            "velmora([['a']])",                                # items are ints
            "velmora([[1]], num_threads='8')",                 # an int
            "velmora([[1]], use_dsg_tiebreak=None)",           # a bool
            "def f(x: Result) -> int: return x['nodes']",      # no such key
            "def g(m: Move) -> str: return m[6]",              # h is a float
            "def h(x: Result) -> list[int]: return x['h_values']",  # floats
        ]
        bad.write_text("\n".join(lines) + "\n")
        proc = mypy(tmp_path, bad)
        flagged = {int(line.split(":")[1]) for line in proc.stdout.splitlines()
                   if ": error:" in line}
        assert flagged == set(range(3, len(lines) + 1)), proc.stdout

    def test_correct_use_passes(self, tmp_path):
        good = tmp_path / "use.py"
        good.write_text(
            "import time\n"
            "from velmora import velmora, Result, Move\n"
            "deadline = time.monotonic() + 5\n"
            "r: Result | None = velmora(((0, 3, 1), (0, 0, 2), [0, 0, 0]), print,\n"
            "                           stop_fn=lambda: time.monotonic() > deadline)\n"
            "if r is not None:\n"
            "    first: Move = r['moves'][0]\n"
            "    src, _, dst, _, item, g, h, f, aux = first\n"
            "    total: float = sum(r['h_values']) + r['time'] + h + f + aux\n"
            "    count: int = r['num_moves'] + r['nodes_expanded'] + r['iterations'] + g\n")
        proc = mypy(tmp_path, good)
        assert proc.returncode == 0, proc.stdout + proc.stderr


# --- The command-line solver ------------------------------------------------------


class TestSolveOutput:
    def test_solves_a_board_and_prints_boards_moves_and_verdict(self, tmp_path):
        board = tmp_path / "b.json"
        board.write_text(json.dumps({"lanes": ONE_MOVE}))
        proc = run_cli(board, "--threads", "2")
        assert proc.returncode == 0, proc.stderr
        out = proc.stdout
        before, after = out.index("lane 0 |"), out.rindex("lane 0 |")
        assert before < out.index("lane 0 → lane 2: item 3") < after
        assert "[3]" in out[before:after] and "[" not in out[after:]
        assert out.rstrip().endswith("solved in 1 move")

    def test_json_result_replays_to_the_board_it_reports(self, tmp_path):
        lanes = puzzle("small.json")["lanes"]
        proc = run_cli("--json", "--quiet", PUZZLES / "small.json")
        assert proc.returncode == 0, proc.stderr
        doc = json.loads(proc.stdout)
        assert doc["status"] == "solved"
        result = doc["result"]
        result["moves"] = [tuple(m) for m in result["moves"]]
        final = replay(lanes, result)
        assert final == doc["board_after"] and blokaj(final) == 0
        assert proc.stderr == ""

    @pytest.mark.parametrize("text", [json.dumps(ONE_MOVE), json.dumps({"lanes": ONE_MOVE})])
    def test_reads_standard_input_as_a_bare_list_or_an_object(self, text):
        proc = run_cli("--json", "-", input=text)
        assert proc.returncode == 0, proc.stderr
        assert json.loads(proc.stdout)["result"]["num_moves"] == 1

    def test_quiet_prints_only_the_verdict(self, tmp_path):
        board = tmp_path / "b.json"
        board.write_text(json.dumps(ONE_MOVE))
        proc = run_cli("--quiet", board)
        assert (proc.returncode, proc.stdout, proc.stderr) == (0, "solved in 1 move\n", "")

    def test_an_already_solved_board(self):
        code, out, _ = run_main("--quiet", stdin="[[1, 2], [0, 3]]")
        assert (code, out) == (0, "solved in 0 moves\n")

    def test_options_reach_the_module(self):
        seen = {}

        def fake(lanes, **kwargs):
            seen.update(kwargs, lanes=lanes)
            return None

        run_main("--threads", "3", "--tiebreak", "--time-limit", "60", stdin="[[2, 1]]",
                 solver=fake)
        assert seen["lanes"] == [[2, 1]]
        assert (seen["num_threads"], seen["use_dsg_tiebreak"]) == (3, True)
        assert seen["stop_fn"]() is False
        seen.clear()
        run_main("--quiet", stdin="[[2, 1]]", solver=fake)
        assert (seen["num_threads"], seen["use_dsg_tiebreak"]) == (8, False)
        assert seen["stop_fn"]() is False

    def test_an_expired_time_limit_asks_to_stop(self):
        answers = []

        def fake(lanes, stop_fn, **kwargs):
            answers.append(stop_fn())
            return None

        code, out, _ = run_main("--time-limit", "0", stdin="[[2, 1]]", solver=fake)
        assert (answers, code) == ([True], 3) and "stopped:" in out


class TestExitCodes:
    def test_no_solution_exits_1(self):
        # One lane and nowhere to move its items.
        proc = run_cli("-", input="[[2, 1]]")
        assert proc.returncode == 1, proc.stderr
        assert "no solution" in proc.stdout

    def test_no_solution_in_json(self):
        proc = run_cli("--json", "-", input="[[2, 1]]")
        assert proc.returncode == 1
        assert json.loads(proc.stdout) == {"status": "no_solution", "result": None,
                                           "board_after": None}

    def test_time_limit_reached_before_the_search_exits_3(self):
        proc = run_cli("--time-limit", "0", PUZZLES / "demo.json")
        assert proc.returncode == 3, proc.stderr
        assert "stopped" in proc.stdout

    def test_time_limit_stops_a_long_search_exits_3(self):
        proc = run_cli("--json", "--time-limit", "0.5", PUZZLES / "hard.json")
        assert proc.returncode == 3, proc.stderr
        assert json.loads(proc.stdout)["status"] == "stopped"

    def test_ctrl_c_during_the_search_exits_130(self):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8",
               "PYTHONPATH": str(MODULE_DIR)}
        proc = subprocess.Popen([sys.executable, str(SOLVE), PUZZLES / "hard.json"], env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        try:
            # The first status line comes with the first iteration: the search runs.
            assert proc.stderr.readline().startswith("iteration 1 ")
            proc.send_signal(signal.SIGINT)
            out, err = proc.communicate(timeout=60)
        finally:
            proc.kill()
            proc.wait()
        assert proc.returncode == 130, err
        assert "interrupted" in err and "Traceback" not in err
        assert "solved" not in out

    def test_ctrl_c_inside_the_log_callable_stops_the_search(self):
        """The module counts an exception in log_fn as a failed log line, so a
        Ctrl-C that lands there must not be lost."""

        class InterruptedOnce(io.StringIO):
            hit = False

            def write(self, text):
                if not self.hit:
                    self.hit = True
                    raise KeyboardInterrupt
                return super().write(text)

        answers = []

        def fake(lanes, log_fn, stop_fn, **kwargs):
            log_fn("Iterasyon 1 | esik=1.000000 | 1 thread aciliyor\n")
            answers.append(stop_fn())
            return None

        err = InterruptedOnce()
        code = cli.main(["--threads", "1"], solver=fake, stdin=io.StringIO("[[2, 1]]"),
                        stdout=io.StringIO(), stderr=err)
        assert (code, answers) == (130, [True])
        assert "interrupted" in err.getvalue()


BAD_BOARDS = [
    ("[[1, 2]", "not JSON"),
    ("", "not JSON"),
    ('{"lane": [[1]]}', '"lanes"'),
    ('"abc"', "list of lists"),
    ("[1, 2]", "lane 0"),
    ("[[1, 2.5]]", "lane 0, slot 1"),
    ("[[1, true]]", "lane 0, slot 1"),
    ('[[1, "2"]]', "lane 0, slot 1"),
    ("[[1], [0, 256]]", "lane 1, slot 1"),
    ("[[-1]]", "outside"),
    (json.dumps([[1]] * 101), "101"),                 # the module's ValueError
    (json.dumps([list(range(1, 22))]), "21"),
    (json.dumps([[0] * 2001]), "2001"),
]


class TestBadInput:
    @pytest.mark.parametrize("text, message", BAD_BOARDS)
    def test_bad_boards_exit_2_with_a_message(self, text, message):
        proc = run_cli("-", input=text)
        assert proc.returncode == 2, proc.stdout
        assert message in proc.stderr and "Traceback" not in proc.stderr
        assert proc.stderr.startswith("solve.py: ")

    @pytest.mark.parametrize("args", [["--threads", "x"], ["--threads", "-1"],
                                      ["--threads", str(2**40)], ["--time-limit", "-1"],
                                      ["--time-limit", "nan"], ["--bogus"]])
    def test_bad_options_exit_2(self, args):
        proc = run_cli(*args, "-", input=json.dumps(ONE_MOVE))
        assert proc.returncode == 2 and "Traceback" not in proc.stderr
        assert "usage:" in proc.stderr

    def test_missing_file_exits_2(self, tmp_path):
        proc = run_cli(tmp_path / "nope.json")
        assert proc.returncode == 2 and "nope.json" in proc.stderr
        assert "Traceback" not in proc.stderr

    def test_binary_file_exits_2(self, tmp_path):
        (tmp_path / "b.json").write_bytes(b"\xff\xfe[[1]]")
        proc = run_cli(tmp_path / "b.json")
        assert proc.returncode == 2 and "Traceback" not in proc.stderr

    @pytest.mark.parametrize("error", [TypeError("incompatible function arguments"),
                                       ValueError("too many lanes")])
    def test_errors_raised_by_the_module_exit_2(self, error):
        def refusing(lanes, **kwargs):
            raise error

        code, out, err = run_main(stdin="[[1]]", solver=refusing)
        assert code == 2 and str(error) in err


class TestVerification:
    def result_for(self, lanes):
        return velmora(lanes, log_fn=quiet, num_threads=1)

    def test_a_real_solution_replays(self):
        lanes = [[0, 2, 1], [0, 0, 3], [4, 1, 5]]
        result = self.result_for(lanes)
        assert cli.replay(lanes, result) == replay(lanes, result)

    @pytest.mark.parametrize("field, value, message", [
        (1, 0, "slot"),        # wrong source slot
        (3, 0, "slot"),        # wrong landing slot
        (4, 9, "item"),        # wrong item
        (5, 7, "g="),          # wrong position
        (2, 7, "lanes 0 and 7"),  # no such lane
    ])
    def test_a_wrong_move_tuple_is_refused(self, field, value, message):
        result = self.result_for(ONE_MOVE)
        move = list(result["moves"][0])
        move[field] = value
        result["moves"][0] = tuple(move)
        with pytest.raises(cli.BadAnswer, match=message):
            cli.replay(ONE_MOVE, result)

    def test_moves_that_leave_the_board_unsolved_are_refused(self):
        result = self.result_for(ONE_MOVE)
        result["moves"] = [(0, 1, 1, 1, 3, 1, 0.0, 1.0, 0.0)]  # a legal move, but no fix
        with pytest.raises(cli.BadAnswer, match="still misplaced"):
            cli.replay(ONE_MOVE, result)

    def test_a_bad_answer_exits_4(self):
        def lying(lanes, **kwargs):
            return {"num_moves": 0, "moves": [], "time": 0.0, "h_values": [1.0],
                    "f_values": [1.0], "g_values": [0], "nodes_expanded": 0, "iterations": 1}

        code, out, err = run_main(stdin=json.dumps(ONE_MOVE), solver=lying)
        assert code == 4 and "solved" not in out and "misplaced" in err


class TestBoardPicture:
    def test_misplaced_levels_are_bracketed(self):
        rows = cli.draw_board([[0, 3, 1], [4, 2, 2, 5], [9, 8], [0, 0, 0]])
        assert rows[0] == "lane 0 | · [3] 1    |  1 misplaced"
        assert rows[1] == "lane 1 |[4] 2  2  5 |  1 misplaced"
        # 9 stands in front of the run but is no level: not counted, not marked.
        assert rows[2] == "lane 2 | 9  8       |"
        assert rows[3] == "lane 3 | ·  ·  ·    |"

    def test_after_picture_of_every_solution_has_no_marks(self):
        lanes = puzzle("small.json")["lanes"]
        result = velmora(lanes, log_fn=quiet)
        rows = cli.draw_board(cli.replay(lanes, result))
        assert len(rows) == len(lanes) and not any("[" in row for row in rows)

    def test_wide_values_keep_columns_aligned(self):
        rows = cli.draw_board([[200, 1], [0, 3, 2]])
        assert rows == ["lane 0 | 200    1      |",
                        "lane 1 |   ·   [3]   2 |  1 misplaced"]


WORKER = "Thread {} acildi\n"
PROGRESS = "[IDA*] iter={} | thread_nodes={} | esik={}.000000 | min_h=3.000000 | sure={}s\n"


class TestProgress:
    def test_counts_are_kept_per_worker_and_added_up(self):
        out = io.StringIO()
        p = cli.Progress(out, tty=False)
        p.feed("Iterasyon 2 | esik=12.000000 | 2 thread aciliyor\n", thread=101)
        p.feed(WORKER.format(0), thread=101)
        p.feed(WORKER.format(1), thread=102)
        p.feed(PROGRESS.format(2, 50000, 12, "1.000000"), thread=101)
        p.feed(PROGRESS.format(2, 50000, 12, "1.500000"), thread=102)
        p.feed(PROGRESS.format(2, 100000, 12, "2.000000"), thread=101)
        assert p.nodes == 150000
        lines = out.getvalue().splitlines()
        assert lines[0].startswith("iteration 2 | bound 12 | 0 nodes")
        assert lines[-1] == "iteration 2 | bound 12 | 150,000 nodes | 75,000 nodes/s | 2.0 s"

    def test_worker_counts_survive_new_threads_in_the_next_iteration(self):
        p = cli.Progress(io.StringIO(), tty=False)
        p.feed(WORKER.format(0), thread=7)
        p.feed(PROGRESS.format(1, 50000, 12, "1.0"), thread=7)
        p.feed("Iterasyon 2 | esik=13.000000 | 1 thread aciliyor\n", thread=1)
        p.feed(WORKER.format(0), thread=8)  # the same worker on a fresh thread
        p.feed(PROGRESS.format(2, 100000, 13, "2.0"), thread=8)
        assert p.nodes == 100000 and p.iteration == 2 and p.bound == 13.0

    def test_plain_lines_at_most_once_per_second_without_a_terminal(self):
        out = io.StringIO()
        p = cli.Progress(out, tty=False)
        p.feed(WORKER.format(0), thread=1)
        for i, t in enumerate(["0.2", "0.6", "1.1", "1.4", "1.9", "2.3"], start=1):
            p.feed(PROGRESS.format(1, 50000 * i, 12, t), thread=1)
        assert "\r" not in out.getvalue()
        assert [line.split("|")[-1] for line in out.getvalue().splitlines()] == \
            [" 0.2 s", " 1.1 s", " 2.3 s"]

    def test_terminal_line_is_redrawn_in_place_and_ended_once(self):
        out = io.StringIO()
        p = cli.Progress(out, tty=True)
        p.feed("Iterasyon 1 | esik=12.000000 | 1 thread aciliyor\n", thread=1)
        p.feed(WORKER.format(0), thread=1)
        p.feed(PROGRESS.format(1, 50000, 12, "0.5"), thread=1)
        assert out.getvalue().count("\r") == 2 and "\n" not in out.getvalue()
        p.finish({"nodes_expanded": 60000, "time": 0.6, "iterations": 1})
        text = out.getvalue()
        assert text.endswith("\n") and text.count("\n") == 1
        assert "60,000 nodes" in text.rsplit("\r", 1)[1]

    def test_other_lines_are_ignored(self):
        out = io.StringIO()
        p = cli.Progress(out, tty=False)
        for line in ["IDA* basladi. blokaj=3 g*=5 DS=-2 h=3.000000 dsg_tiebreak=kapali\n",
                     "Thread 0 bosta kaldi (hic is alamadi)\n", "Cozum bulundu! adim=3 iter=1 "
                     "sure=0.1\n", "IDA* durduruldu, None donuluyor.\n"]:
            p.feed(line, thread=1)
        assert out.getvalue() == "" and p.nodes == 0

    def test_patterns_match_the_module_lines(self):
        """A real run, stopped right after its first progress line."""
        lines = []
        first = {}

        def log(text):
            lines.append(text)
            if text.startswith("[IDA*]"):
                first.setdefault("seen", True)

        velmora(puzzle("hard.json")["lanes"], log_fn=log, num_threads=1,
                stop_fn=lambda: "seen" in first)
        assert any(cli.WORKER_LINE.match(t.rstrip("\n")) for t in lines)
        assert any(cli.ITERATION_LINE.match(t.rstrip("\n")) for t in lines)
        progress = [t for t in lines if t.startswith("[IDA*]")]
        assert progress and all(cli.PROGRESS_LINE.match(t.rstrip("\n")) for t in progress)


# --- The shipped puzzles ------------------------------------------------------------


ALL_PUZZLES = sorted(p.name for p in PUZZLES.glob("*.json"))


class TestPuzzles:
    @pytest.mark.parametrize("name", ALL_PUZZLES)
    def test_each_file_is_a_described_board_within_the_limits(self, name):
        doc = puzzle(name)
        assert set(doc) == {"description", "lanes"}
        assert doc["description"] and "\n" not in doc["description"]
        lanes = cli.parse_board(doc)
        assert len(lanes) <= 100 and len(lanes) * max(map(len, lanes)) <= 2000
        assert all(sum(1 for v in lane if v) <= 20 for lane in lanes)

    def test_demo_is_a_real_size_board_with_real_search(self):
        """What ./dev demo runs."""
        assert len(puzzle("demo.json")["lanes"]) >= 8
        proc = run_cli(PUZZLES / "demo.json")
        assert proc.returncode == 0, proc.stderr
        nodes = re.search(r"\(([\d,]+) nodes expanded", proc.stdout)[1]
        assert int(nodes.replace(",", "")) >= 1000
        assert proc.stdout.rstrip().splitlines()[-1].startswith("solved in ")
