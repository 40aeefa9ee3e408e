# Packaging: one version, the license, the wheel (module and command) installed offline in a venv.

import ast
import os
import subprocess
import sys
import tarfile
import tomllib
import zipfile

import pytest

import velmora as velmora_module

from conftest import MODULE_DIR, ONE_MOVE, REPO, SOLVE
from test_usability import stub

PROJECT = tomllib.loads((REPO / "pyproject.toml").read_text())["project"]
LICENSE = (REPO / "LICENSE").read_text()


def run(*cmd, ok=True, env=(), **kwargs):
    # Without PYTHONPATH (only what is installed is found) and without an index.
    clean = {k: v for k, v in os.environ.items() if not k.startswith(("PYTHON", "PIP_", "MYPY"))}
    clean.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1", LANG="C.UTF-8")
    clean.update({k: str(v) for k, v in dict(env).items()})
    proc = subprocess.run(list(map(str, cmd)), capture_output=True, text=True, env=clean,
                          cwd=kwargs.pop("cwd", REPO), timeout=1200, **kwargs)
    assert proc.returncode == 0 or not ok, f"{cmd}\n{proc.stdout[-3000:]}\n{proc.stderr[-3000:]}"
    return proc.stdout


def test_two_functions_the_version_of_pyproject_and_the_license_the_sdist_ships(tmp_path):
    assert [n for n in dir(velmora_module) if not n.startswith("_")] == ["plan", "velmora"]
    assert velmora_module.__version__ == PROJECT["version"]
    assert ast.unparse(stub("__version__").annotation) == "str"
    assert PROJECT["license"] == {"text": "MIT"} and LICENSE.startswith("MIT License\n")
    name = run(sys.executable, "-c", "import sys; from scikit_build_core.build import "
               "build_sdist; print(build_sdist(sys.argv[1]))", tmp_path).split()[-1]
    top = name.removesuffix(".tar.gz")
    with tarfile.open(tmp_path / name) as sdist:
        assert sdist.extractfile(f"{top}/LICENSE").read().decode() == LICENSE
        assert "License: MIT\n" in sdist.extractfile(f"{top}/PKG-INFO").read().decode()


@pytest.mark.slow
def test_wheel_installs_into_a_fresh_venv_solves_and_types(tmp_path):
    # A developer build treats warnings as errors; a user's install must not.
    if (MODULE_DIR / "build.ninja").exists():
        assert " -Werror" in (MODULE_DIR / "build.ninja").read_text()
    run(REPO / "dev", "wheel", tmp_path / "dist", env={"SKBUILD_BUILD_DIR": tmp_path / "build"})
    flags = (tmp_path / "build" / "build.ninja").read_text()
    assert " -Wextra" in flags and "-Werror" not in flags

    (wheel,) = (tmp_path / "dist").glob("velmora-*.whl")
    assert "-cp314-cp314-" in wheel.name  # not abi3: the module uses the full C API
    files = zipfile.ZipFile(wheel)
    package = {f"velmora_cli/{p.name}" for p in (REPO / "python" / "velmora_cli").glob("*.py")}
    assert {"velmora.pyi", "velmora-stubs/__init__.pyi", *package} <= set(files.namelist())
    dist_info = f"velmora-{PROJECT['version']}.dist-info"
    assert files.read(f"{dist_info}/licenses/LICENSE").decode() == LICENSE
    metadata = files.read(f"{dist_info}/METADATA").decode()
    assert "Provides-Extra: cli\n" in metadata and "Provides-Extra: cluster\n" in metadata
    python = tmp_path / "venv" / "bin" / "python"
    run(sys.executable, "-m", "venv", "--system-site-packages", tmp_path / "venv")
    run(python, "-m", "pip", "install", "--no-deps", wheel)
    out = run(python, SOLVE, "--quiet", "-", input=str(ONE_MOVE), cwd=tmp_path)
    assert out == "solved in 1 move\n"
    # The command, installed as a script and as a package, with its subcommands.
    command = tmp_path / "venv" / "bin" / "velmora"
    assert run(command, "solve", "--quiet", input=str(ONE_MOVE), cwd=tmp_path) == out
    (tmp_path / "yard").mkdir()
    (tmp_path / "yard" / "one.json").write_text(str(ONE_MOVE))
    assert run(python, "-m", "velmora_cli", "--help", cwd=tmp_path).startswith("usage: velmora ")
    out = run(command, "batch", "yard", "--out", "o.jsonl", "--jobs", "2", cwd=tmp_path)
    assert out.splitlines()[1].split()[:2] == ["solved", "1"], out
    assert '"status": "solved"' in (tmp_path / "o.jsonl").read_text()
    out = run(python, "-c", "import importlib.metadata as m, velmora; "
              "print(velmora.__version__, m.version('velmora'), m.metadata('velmora')['License'])",
              cwd=tmp_path)
    assert out.split() == [PROJECT["version"], PROJECT["version"], "MIT"]
    # An error only the stub can explain: mypy found it in the venv.
    (tmp_path / "use.py").write_text(f"import velmora\nn = velmora.velmora({ONE_MOVE})['moves']\n")
    out = run(python, "-m", "mypy", "--strict", "--cache-dir", tmp_path / "c", "use.py",
              ok=False, cwd=tmp_path)
    assert 'Value of type "Result | None" is not indexable' in out, out
