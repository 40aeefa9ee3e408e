"""Packaging: the wheel of `./dev wheel`, installed offline into a fresh venv."""

import os
import subprocess
import sys
import zipfile

import pytest

from test_usability import ONE_MOVE, REPO, SOLVE


def run(*cmd, ok=True, **kwargs):
    """Without PYTHONPATH (only what is installed is found) and without an index."""
    env = {k: v for k, v in os.environ.items() if not k.startswith(("PYTHON", "PIP_", "MYPY"))}
    env.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1", LANG="C.UTF-8")
    proc = subprocess.run(list(map(str, cmd)), capture_output=True, text=True, env=env,
                          cwd=kwargs.pop("cwd", REPO), timeout=1200, **kwargs)
    assert proc.returncode == 0 or not ok, f"{cmd}\n{proc.stdout[-3000:]}\n{proc.stderr[-3000:]}"
    return proc.stdout


@pytest.mark.slow
def test_wheel_installs_into_a_fresh_venv_solves_and_types(tmp_path):
    run(REPO / "dev", "wheel", tmp_path / "dist")
    (wheel,) = (tmp_path / "dist").glob("velmora-*.whl")
    assert "-cp314-cp314-" in wheel.name  # not abi3: the module uses the full C API
    assert {"velmora.pyi", "velmora-stubs/__init__.pyi"} <= set(zipfile.ZipFile(wheel).namelist())
    python = tmp_path / "venv" / "bin" / "python"
    run(sys.executable, "-m", "venv", "--system-site-packages", tmp_path / "venv")
    run(python, "-m", "pip", "install", "--no-deps", wheel)
    out = run(python, SOLVE, "--quiet", "-", input=str(ONE_MOVE), cwd=tmp_path)
    assert out == "solved in 1 move\n"
    # An error only the stub can explain: mypy found it in the venv.
    (tmp_path / "use.py").write_text(f"import velmora\nn = velmora.velmora({ONE_MOVE})['moves']\n")
    out = run(python, "-m", "mypy", "--strict", "--cache-dir", tmp_path / "c", "use.py",
              ok=False, cwd=tmp_path)
    assert 'Value of type "Result | None" is not indexable' in out, out
