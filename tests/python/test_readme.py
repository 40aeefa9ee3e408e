"""Every example in the README runs as written."""

import json
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

import pytest

from conftest import ENV, MODULE_DIR, PUZZLES, REPO
from test_picture_and_bay import NS, frame_board

README = (REPO / "README.md").read_text()
PYTHON_BLOCKS = re.findall(r"^```python\n(.*?)^```", README, flags=re.M | re.S)
SH_LINES = [line for block in re.findall(r"^```sh\n(.*?)^```", README, flags=re.M | re.S)
            for line in block.splitlines()]
# The command's examples (not the cluster's: no scheduler runs here).
SOLVE_LINES = [line for line in SH_LINES if re.search(r"(^|\| )velmora |^python3\.14 examples/",
                                                      line) and "--scheduler" not in line]


def run(command, cwd=REPO, **kwargs):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, env=ENV,
                          timeout=300, **kwargs)


def as_written(line):  # the README's python3.14 is this interpreter (or python3.14d)
    line = re.sub(r"\bpython3\.14\b", sys.executable, line)
    return re.sub(r"(^|\| )velmora ", rf"\1{sys.executable} -m velmora_cli ", line)


@pytest.mark.parametrize("code", PYTHON_BLOCKS)
def test_python_example_runs(code):
    proc = run([sys.executable, "-c", code])
    assert proc.returncode == 0, proc.stderr
    assert "lane 0 → lane 2: item 3" in proc.stdout


@pytest.mark.parametrize("line", SOLVE_LINES)
def test_command_line_example_exits_as_its_comment_says(line, tmp_path):
    code = re.search(r"#\s*exit (\d+)", line)
    (tmp_path / "examples").symlink_to(REPO / "examples")  # what it writes lands in tmp_path
    proc = run(["bash", "-c", as_written(line)], cwd=tmp_path)
    assert proc.returncode == (int(code[1]) if code else 0), proc.stdout + proc.stderr
    assert "Traceback" not in proc.stderr


def test_examples_pass_mypy_strict_through_the_stub(tmp_path):
    # The README's typing command with its Python examples added: one mypy run.
    line = next(line for line in SH_LINES if "mypy" in line)
    for i, code in enumerate(PYTHON_BLOCKS):
        (tmp_path / f"readme_{i}.py").write_text(code)
    extra = "".join(f" {p}" for p in sorted(tmp_path.glob("readme_*.py")))
    extra += f" --cache-dir {tmp_path / 'cache'}"
    proc = run(["bash", "-c", as_written(line).replace("MYPYPATH=build", f"MYPYPATH={MODULE_DIR}")
                + extra])
    assert proc.returncode == 0 and PYTHON_BLOCKS, proc.stdout + proc.stderr


def test_the_picture_shows_small_json_from_its_board_to_a_solved_one():
    assert "docs/solution.svg" in re.findall(r"!\[[^]]+\]\(([^)]+)\)", README)
    frames = [g for g in ET.parse(REPO / "docs/solution.svg").iter(NS + "g")
              if g.get("class") == "frame"]
    lanes = json.loads((PUZZLES / "small.json").read_text())["lanes"]
    shape = [len(lane) for lane in lanes]
    assert frame_board(frames[0], shape)[0] == lanes
    assert frame_board(frames[-1], shape)[1] == [0] * len(lanes) and len(frames) > 2
