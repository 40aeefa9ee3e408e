"""The README's examples run as written, and what it documents matches what
the module does."""

import importlib.util
import json
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import velmora as velmora_module
from velmora import velmora

REPO = Path(__file__).resolve().parents[2]
README = (REPO / "README.md").read_text()
MODULE_DIR = Path(velmora_module.__file__).parent


def blocks(language):
    return re.findall(rf"^```{language}\n(.*?)^```", README, flags=re.M | re.S)


def env():
    return {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8",
            "PYTHONPATH": str(MODULE_DIR)}


def solve_commands():
    """(command, expected exit code) for every command line of a sh block that
    runs the command-line solver; "# exit N" at the end gives the exit code."""
    found = []
    for block in blocks("sh"):
        for line in block.splitlines():
            if "examples/solve.py" in line and not line.startswith((".venv/", "MYPYPATH")):
                code = re.search(r"#\s*exit (\d+)", line)
                found.append((line, int(code[1]) if code else 0))
    return found


class TestPythonExamples:
    @pytest.mark.parametrize("code", blocks("python"))
    def test_example_runs(self, code):
        proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                              env=env(), timeout=120)
        assert proc.returncode == 0, proc.stderr
        # Every example solves its board and logs through `logging`.
        assert "lane 0 → lane 2: item 3" in proc.stdout
        assert "INFO:velmora:IDA* basladi. blokaj=1 " in proc.stderr
        assert "INFO:velmora:Cozum bulundu! adim=1 " in proc.stderr

    @pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="needs mypy")
    def test_examples_pass_mypy_strict(self, tmp_path):
        assert blocks("python")
        for i, code in enumerate(blocks("python")):
            (tmp_path / f"readme_{i}.py").write_text(code)
        proc = subprocess.run(
            [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"),
             *map(str, sorted(tmp_path.glob("readme_*.py")))],
            capture_output=True, text=True, timeout=300,
            env=dict(os.environ, MYPYPATH=str(MODULE_DIR)))
        assert proc.returncode == 0, proc.stdout


class TestCommandLineExamples:
    def test_every_option_is_shown(self):
        lines = "\n".join(line for line, _ in solve_commands())
        for option in ("--threads", "--tiebreak", "--time-limit", "--json", "--quiet"):
            assert option in lines

    @pytest.mark.parametrize("line, code", solve_commands())
    def test_command_exits_as_documented(self, line, code):
        proc = subprocess.run(["bash", "-c", line], cwd=REPO, capture_output=True, text=True,
                              env=env(), timeout=300)
        assert proc.returncode == code, proc.stdout + proc.stderr
        assert "Traceback" not in proc.stderr

    def test_sample_output_is_what_the_tiny_puzzle_prints(self):
        sample = next(b for b in blocks("text") if "solved in" in b)
        proc = subprocess.run([sys.executable, "examples/solve.py", "--threads", "1",
                               "examples/puzzles/tiny.json"], cwd=REPO, capture_output=True,
                              text=True, env=env(), timeout=60)
        times = re.compile(r"\d+\.\d{3} s\)")
        assert times.sub("T s)", proc.stdout) == times.sub("T s)", sample)

    def test_named_puzzles_exist(self):
        for name in re.findall(r"`(\w+\.json)`", README):
            assert (REPO / "examples" / "puzzles" / name).is_file(), name


def log_lines_of_real_runs():
    """Log lines of runs that end in every way a run can end."""
    lines = []
    velmora([[0, 2, 1], [0, 0, 3], [0, 0, 0]], log_fn=lines.append, num_threads=4,
            use_dsg_tiebreak=True)                                # solved; idle workers
    velmora([[2, 1]], log_fn=lines.append)                       # no move at all
    velmora([[3, 2, 1], [0]], log_fn=lines.append)               # runs out of moves
    velmora([[0, 2, 1], [0, 0, 3]], log_fn=lines.append, stop_get_best_fn=lambda: True)
    hard = json.loads((REPO / "examples" / "puzzles" / "hard.json").read_text())["lanes"]
    velmora(hard, log_fn=lines.append, num_threads=1,            # stopped in the search
            stop_fn=lambda: any(line.startswith("[IDA*]") for line in lines))
    return lines


NUMBER = r"-?\d+(?:\.\d+)?"


def documented_lines():
    """The log table's lines as regular expressions: the upper-case names in
    them stand for numbers."""
    section = README[README.index("### Log lines"):README.index("### Stopping a run")]
    patterns = []
    for row in re.findall(r"^\| `(.*?)` ", section.replace("\\|", "|"), flags=re.M):
        parts = re.split(r"((?<==)[A-Z]+|(?<= )[ITW](?= ))", row)
        regex = "".join(NUMBER if i % 2 else re.escape(part) for i, part in enumerate(parts))
        patterns.append(re.compile(regex.replace("acik", "(?:acik|kapali)") + "\n"))
    return patterns


@pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="needs mypy")
def test_mypy_command_passes():
    """The typing command, with build/ standing for wherever the module is."""
    line = next(line for b in blocks("sh") for line in b.splitlines() if "mypy" in line)
    assert line.startswith("MYPYPATH=build ")
    proc = subprocess.run(["bash", "-c", line.replace("MYPYPATH=build", f"MYPYPATH={MODULE_DIR}")],
                          cwd=REPO, capture_output=True, text=True, env=env(), timeout=300)
    assert proc.returncode == 0, proc.stdout + proc.stderr


class TestReference:
    def test_the_log_table_describes_every_line_exactly(self):
        patterns = documented_lines()
        assert len(patterns) == 10
        matched = set()
        for line in log_lines_of_real_runs():
            hits = [p for p in patterns if p.fullmatch(line)]
            assert len(hits) == 1, line
            matched.add(hits[0].pattern)
        assert matched == {p.pattern for p in patterns}

    def test_every_parameter_and_result_key_is_documented(self):
        result = velmora([[0, 3, 1], [0, 0, 2], [0, 0, 0]], log_fn=lambda s: None)
        reference = README[README.index("## API reference"):]
        first = velmora.__doc__.splitlines()[0]
        for name in re.findall(r"(\w+):", first[first.index("(") + 1:]):
            assert f"| `{name}` |" in reference, name
        for key in result:
            assert f"| `{key}` |" in reference, key

    def test_documented_limits_raise_value_error(self):
        for lanes in ([[1]] * 101, [[0] * 2001], [list(range(1, 22))]):
            with pytest.raises(ValueError):
                velmora(lanes, log_fn=lambda s: None)
        text = README[README.index("### Errors"):]
        assert "100 lanes" in text and "2000 cells" in text and "20 items" in text
