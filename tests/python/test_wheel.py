"""Packaging: `./dev wheel` builds a wheel that installs into a fresh virtual
environment and solves a board there, and the README's offline `pip install .`
works in a clean copy of the sources. Both build the module from scratch,
offline, with the interpreter's own build tools."""

import os
import re
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
BOARD = "[[0, 3, 1], [0, 0, 2], [0, 0, 0]]"

pytestmark = [
    pytest.mark.slow,
    pytest.mark.skipif(sys.version_info[:2] != (3, 14), reason="the module is for CPython 3.14"),
]


def clean_env():
    """No PYTHONPATH, so only what is installed in the environment is found;
    no index, so nothing is fetched."""
    env = {k: v for k, v in os.environ.items() if not k.startswith(("PYTHON", "PIP_"))}
    env.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1", LANG="C.UTF-8")
    return env


def run(cmd, cwd=None, timeout=900):
    proc = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, env=clean_env(),
                          timeout=timeout)
    assert proc.returncode == 0, f"{cmd}\n{proc.stdout[-3000:]}\n{proc.stderr[-3000:]}"
    return proc


def make_venv(path):
    run([sys.executable, "-m", "venv", "--system-site-packages", str(path)])
    return path / "bin" / "python"


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    out = tmp_path_factory.mktemp("dist")
    run([str(REPO / "dev"), "wheel", str(out)], cwd=REPO)
    wheels = list(out.glob("velmora-*.whl"))
    assert len(wheels) == 1, wheels
    return wheels[0]


def test_wheel_holds_the_module_and_its_stub(wheel):
    names = zipfile.ZipFile(wheel).namelist()
    assert any(re.fullmatch(r"velmora\.cpython-314-[^/]*\.so", n) for n in names), names
    assert "velmora.pyi" in names
    assert not any(n.startswith(("tests/", "examples/", "src/")) for n in names)


def test_wheel_installs_into_a_fresh_venv_and_solves(wheel, tmp_path):
    python = make_venv(tmp_path / "venv")
    run([str(python), "-m", "pip", "install", "--no-deps", str(wheel)])
    where = run([str(python), "-c", "import velmora; print(velmora.__file__)"]).stdout
    assert where.startswith(str(tmp_path / "venv")), where
    proc = subprocess.run([str(python), str(REPO / "examples" / "solve.py"), "--quiet", "-"],
                          input=BOARD, capture_output=True, text=True, env=clean_env(),
                          timeout=120)
    assert (proc.returncode, proc.stdout) == (0, "solved in 1 move\n"), proc.stderr
    stub = next((tmp_path / "venv" / "lib").glob("python3.14/site-packages/velmora.pyi"))
    assert stub.read_text() == (REPO / "src" / "module" / "velmora.pyi").read_text()


def readme_offline_install_block():
    blocks = re.findall(r"^```sh\n(.*?)^```", (REPO / "README.md").read_text(), re.M | re.S)
    return next(b for b in blocks if "--no-build-isolation" in b)


def test_readme_offline_install_in_a_clean_copy(tmp_path):
    src = tmp_path / "velmora"
    shutil.copytree(REPO, src, ignore=shutil.ignore_patterns(
        ".git", "build*", "dist", "__pycache__", ".pytest_cache", ".mypy_cache", ".venv"))
    proc = run(["bash", "-e", "-c", readme_offline_install_block()], cwd=src)
    assert proc.stdout.rstrip().endswith("solved in 1 move")
