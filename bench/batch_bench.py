"""The command line's batch on this machine's cores: 200 boards made by
make_boards.py (solved within a million nodes at one worker: a few
hundredths of a second each, so that solving them, not starting the
command, is most of what is timed), solved by `velmora batch
--threads 1` at 1 and at 2 jobs, in turn, twice; boards per second and the
ratio of each pair; and first the time of a batch of one board, what every
batch costs before its boards. Each round also times a plain CPU loop in 1
and 2 processes, as a measure of how much of a second core the machine
gives right now: on a machine shared with other jobs the batch's ratio can
only be read against it.

usage: batch_bench.py [COUNT]"""

import json
import multiprocessing
import os
import subprocess
import sys
import tempfile
import time

from make_boards import boards

SEED, CAP = 21, 1_000_000


def run(folder, jobs, boards="boards"):
    out = os.path.join(folder, f"out-{jobs}.jsonl")
    if os.path.exists(out):
        os.remove(out)
    start = time.perf_counter()
    subprocess.run([sys.executable, "-m", "velmora_cli", "batch", os.path.join(folder, boards),
                    "--out", out, "--threads", "1", "--jobs", str(jobs)],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    secs = time.perf_counter() - start
    with open(out) as f:
        records = [json.loads(line) for line in f]
    assert all(r["status"] == "solved" for r in records), "a board was not solved"
    return len(records), secs, sum(r["nodes"] for r in records)


def burn(n):
    total = 0
    for i in range(n):
        total += i * i
    return total


def control(jobs):
    """Seconds for 8 pieces of a CPU loop in `jobs` processes."""
    with multiprocessing.Pool(jobs) as pool:
        start = time.perf_counter()
        pool.map(burn, [2_000_000] * 8)
        return time.perf_counter() - start


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    with tempfile.TemporaryDirectory() as folder:
        os.mkdir(os.path.join(folder, "boards"))
        made = 0
        for name, board, _, _ in boards(SEED, 100 * count, CAP):
            with open(os.path.join(folder, "boards", name + ".json"), "w") as f:
                json.dump(board, f)
            made += 1
            if made == count:
                break
        # What every batch costs whatever its boards: the interpreter, the
        # imports, the pool's processes; one board of one move.
        os.mkdir(os.path.join(folder, "one"))
        with open(os.path.join(folder, "one", "one.json"), "w") as f:
            json.dump([[0, 3, 1], [0, 0, 2], [0, 0, 0]], f)
        secs = min(run(folder, 1, "one")[1] for _ in range(3))
        print(f"batch of one board (the fixed cost of a batch): secs={secs:.2f}", flush=True)
        for round_ in (1, 2):
            loop = {jobs: control(jobs) for jobs in (1, 2)}
            print(f"control round {round_}: a CPU loop in 1 process {loop[1]:.2f} s, in 2 "
                  f"{loop[2]:.2f} s: 2 processes get {loop[1] / loop[2]:.2f}x", flush=True)
            rates = {}
            for jobs in (1, 2):
                n, secs, nodes = run(folder, jobs)
                rates[jobs] = n / secs
                print(f"batch round {round_} jobs={jobs} boards={n} nodes={nodes} "
                      f"secs={secs:6.2f} boards/s={rates[jobs]:7.1f}", flush=True)
            print(f"batch round {round_} ratio 2 jobs / 1 job: {rates[2] / rates[1]:.2f}x",
                  flush=True)


if __name__ == "__main__":
    main()
