# The process around a run: the default log in a pipe, and an interpreter that exits while a run goes on.

import itertools
import json
import resource
import signal
import subprocess
import sys
import textwrap
from concurrent.futures import ThreadPoolExecutor

import pytest

from conftest import LONG, ONE_MOVE, THREE_ITERATIONS, run_python

pytestmark = pytest.mark.timeout(300)


@pytest.mark.parametrize("exit_by", ["return", "os._exit"])
def test_the_default_log_reaches_a_pipe_line_by_line(exit_by):
    proc = run_python(f"""
        import os
        from velmora import velmora
        velmora({ONE_MOVE!r}, num_threads=1)
        print("after")
        if "{exit_by}" == "os._exit":
            os._exit(0)  # skips every flush: Python's own print() is lost
    """)
    lines = proc.stdout.splitlines()
    assert proc.returncode == 0 and len(lines) == 4 + (exit_by == "return"), proc.stdout
    assert lines[0].startswith("IDA* basladi.") and lines[3].startswith("Cozum bulundu!")
    assert lines[4:] == (["after"] if exit_by == "return" else [])


EXIT_CHILD = """
    import os, signal, sys, threading, time
    from velmora import velmora
    daemon, callables, workers, delay = sys.argv[1] == "daemon", sys.argv[2] == "1", *map(int, sys.argv[3:])
    kwargs = dict(log_fn=lambda line: None, stop_fn=lambda: False) if callables else {}
    threading.Thread(target=velmora, args=(%r,), daemon=daemon,
                     kwargs=dict(num_threads=workers, **kwargs)).start()
    if not daemon:  # Ctrl-C while the interpreter waits for the thread: it exits all the same
        threading.Timer(delay / 1000 + 0.05, os.kill, (os.getpid(), signal.SIGINT)).start()
    time.sleep(delay / 1000)
""" % (LONG,)


def exit_during_a_run(variant):
    daemon, callables, workers, delay = variant
    proc = subprocess.run([sys.executable, "-c", textwrap.dedent(EXIT_CHILD), daemon,
                           str(callables), str(workers), str(delay)],
                          capture_output=True, text=True, timeout=60,
                          env={"PYTHONPATH": ":".join(sys.path)})
    return variant, proc.returncode, proc.stderr


def test_the_interpreter_exits_cleanly_while_runs_go_on_in_other_threads():
    # 2 x 2 x 3 kinds, each exiting at ten moments from 0 to 495 ms: 120 processes.
    kinds = itertools.product(["daemon", "plain"], [0, 1], [1, 2, 8])
    variants = [(*kind, delay) for kind, delay in zip(
        itertools.chain.from_iterable(itertools.repeat(k, 10) for k in kinds),
        itertools.cycle(range(0, 500, 55)))]
    with ThreadPoolExecutor(4) as pool:
        outcomes = list(pool.map(exit_during_a_run, variants))
    # A plain (non-daemon) thread's process ends by the Ctrl-C: KeyboardInterrupt
    # in the wait for the thread, then a normal exit.
    crashes = [(variant, code, err[-300:]) for variant, code, err in outcomes
               if code not in (0, 1, -signal.SIGINT, 130) or "Fatal Python error" in err
               or (variant[0] == "daemon" and (code, err) != (0, ""))]
    assert len(outcomes) == 120 and crashes == []


SHORT_CHILD = """
    import json, os, resource, sys
    from velmora import velmora
    workers, margin = int(sys.argv[1]), int(sys.argv[2])
    board, calls = json.loads(sys.argv[3]), dict(log_fn=lambda line: None, stop_fn=lambda: False)
    velmora(board, num_threads=workers, **calls)  # warm: thread stacks kept for reuse
    with open("/proc/self/statm") as statm:
        size = int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
    resource.setrlimit(resource.RLIMIT_AS, (size + margin, resource.RLIM_INFINITY))
    outcome = b"raised"
    try:
        outcome = b"solved" if velmora(board, num_threads=workers, **calls) else b"None"
    except MemoryError:
        outcome = b"MemoryError"
    except RuntimeError:
        outcome = b"RuntimeError"
    os.write(2, outcome)
    os._exit(0)  # no finalization without memory
"""


def short_of_memory(variant):
    # Thread stacks of 2 MiB, so that glibc keeps eight from the warm-up for reuse.
    workers, margin = variant
    proc = subprocess.run([sys.executable, "-c", textwrap.dedent(SHORT_CHILD), str(workers),
                           str(margin), json.dumps(THREE_ITERATIONS)], capture_output=True, timeout=60,
                          env={"PYTHONPATH": ":".join(sys.path)},
                          preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_STACK, (2**21,) * 2))
    return variant, proc.returncode, proc.stderr.decode(errors="replace")


def test_a_run_short_of_memory_raises_memory_error_instead_of_aborting():
    # Address space from 64 KiB below to 184 KiB above what the process has:
    # the worker threads start (on stacks kept from the warm-up) and then find
    # little or no memory, at every step of a run. A callable that fails for
    # want of memory counts as failing (a log line lost, a stop).
    variants = [(workers, step << 13) for workers in (1, 2, 8) for step in range(-8, 24)]
    with ThreadPoolExecutor(4) as pool:
        outcomes = list(pool.map(short_of_memory, variants))
    ends = [err.replace("Log callback hatasi.\n", "") if code == 0 else (variant, code, err)
            for variant, code, err in outcomes]
    assert set(ends) <= {"solved", "None", "MemoryError", "RuntimeError"}, set(ends)
    assert {"solved", "MemoryError"} <= set(ends)
