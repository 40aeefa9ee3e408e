"""Ctrl-C while velmora runs on the main thread: the workers are stopped and
joined and the call raises KeyboardInterrupt (or whatever the SIGINT handler
raises) shortly after. Each case runs in its own interpreter that sends
SIGINT to itself and reports what happened as JSON."""

import json
import subprocess
import sys
import textwrap

import pytest

from outcomes import LONG

CHILD = textwrap.dedent("""
    import json, os, signal, sys, threading, time
    from velmora import velmora

    LONG = {long}
    case = json.loads(sys.argv[1])
    report = {{"outcome": None}}
    report_fd = 1
    sent = []

    def send():
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    def python_log(line):
        # Sent from a worker's first line in iteration `from_iteration`: the
        # iterations are short then, and the driver next calls this function.
        if (case.get("from_iteration") and not sent and line.endswith(" acildi\\n")
                and threading.current_thread() is not threading.main_thread()
                and int(state["iteration"]) >= case["from_iteration"]):
            send()
        if line.startswith("Iterasyon "):
            state["iteration"] = line.split()[1]

    state = {{"iteration": "0"}}
    polls = [0]

    hits = []

    def python_stop():
        polls[0] += 1
        return polls[0] > case.get("stop_after", 10**9) or bool(hits)

    if case.get("handler") == "raise ValueError":
        def handler(signum, frame):
            raise ValueError("handled SIGINT")
        signal.signal(signal.SIGINT, handler)
    elif case.get("handler") == "count":
        signal.signal(signal.SIGINT, lambda signum, frame: hits.append(signum))

    kwargs = {{"num_threads": case["threads"]}}
    if case["log"] == "python":
        kwargs["log_fn"] = python_log
    elif case["log"] == "append":
        kwargs["log_fn"] = [].append
    else:
        # The module writes its lines to fd 1 itself: away with them.
        report_fd = os.dup(1)
        os.dup2(os.open(os.devnull, os.O_WRONLY), 1)
    safety = None
    if case.get("python_stops"):
        kwargs["stop_fn"] = python_stop
        kwargs["stop_get_best_fn"] = python_stop
    else:  # a lost Ctrl-C ends in None after 10 s instead of running on
        flag = []
        kwargs["stop_fn"] = flag.__len__
        safety = threading.Timer(10, flag.append, (1,))
        safety.start()
    timer = threading.Timer(case["after"], send) if case.get("after") else None
    if timer:
        timer.start()
    start = time.monotonic()
    try:
        result = velmora(LONG, **kwargs)
        report["outcome"] = "returned " + repr(result)
    except BaseException as error:
        report["outcome"] = type(error).__name__ + ": " + str(error)
    ended = time.monotonic()
    for t in (timer, safety):
        if t:
            t.cancel()
            t.join()
    report["latency"] = ended - sent[0] if sent else None
    report["run"] = ended - start
    report["threads_left"] = len(os.listdir("/proc/self/task"))
    report["exc_info"] = repr(sys.exc_info())
    if case.get("handler") == "count":
        report["hits"] = len(hits)
    # The module still works after the interruption.
    again = velmora([[0, 3, 1], [0, 0, 2], [0, 0, 0]], log_fn=lambda s: None, num_threads=2)
    report["again"] = again["num_moves"]
    os.write(report_fd, (json.dumps(report) + "\\n").encode())
""").format(long=LONG)


def interrupt(**case):
    proc = subprocess.run([sys.executable, "-c", CHILD, json.dumps(case)], capture_output=True,
                          text=True, timeout=60, env={"PYTHONPATH": ":".join(sys.path)})
    assert proc.returncode == 0, proc.stderr
    report = json.loads(proc.stdout.splitlines()[-1])
    assert report["threads_left"] == 1, "a worker thread outlived the call"
    assert report["exc_info"] == "(None, None, None)"
    assert report["again"] == 1
    return report


@pytest.mark.timeout(120)
@pytest.mark.parametrize("threads", [1, 2, 8])
@pytest.mark.parametrize("log", ["stdout", "append", "python"])
def test_ctrl_c_in_a_long_iteration_raises_keyboard_interrupt(threads, log):
    report = interrupt(threads=threads, log=log, after=0.4, python_stops=log == "python")
    assert report["outcome"].startswith("KeyboardInterrupt")
    print(f"threads={threads} log={log}: KeyboardInterrupt {report['latency'] * 1000:.0f} ms "
          "after SIGINT")
    assert report["latency"] < 5.0


@pytest.mark.timeout(120)
@pytest.mark.parametrize("from_iteration", [1, 3, 6])
@pytest.mark.parametrize("python_stops", [False, True])
def test_ctrl_c_is_not_swallowed_by_python_callables_between_iterations(from_iteration,
                                                                       python_stops):
    # The signal arrives while the workers of a short iteration run; the
    # driver's next act is to call a Python callable on the main thread.
    report = interrupt(threads=2, log="python", from_iteration=from_iteration,
                       python_stops=python_stops)
    assert report["outcome"].startswith("KeyboardInterrupt"), report
    assert report["latency"] < 5.0


@pytest.mark.timeout(120)
def test_the_handlers_own_exception_is_raised():
    report = interrupt(threads=4, log="stdout", after=0.3, handler="raise ValueError")
    assert report["outcome"] == "ValueError: handled SIGINT"


@pytest.mark.timeout(120)
def test_a_handler_that_raises_nothing_lets_the_run_go_on():
    # The stop callable answers True once the handler has run.
    report = interrupt(threads=2, log="python", after=0.2, handler="count", python_stops=True)
    assert report["hits"] == 1
    assert report["outcome"] == "returned None"
    assert report["run"] > 0.2
