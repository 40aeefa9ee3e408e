"""The shapes of the lines velmora writes to its log, declared once for the
command line, the tests and the benchmark (the module writes them from
src/search/log_lines.h). Each pattern matches one whole line, its newline
included, with fullmatch(); its groups hold the figures. Seconds and bounds
are printed with six decimals."""

from __future__ import annotations

import re

_REAL = r"(\d+\.\d{6}|inf)"

# First line of every run.
STARTED = re.compile(rf"IDA\* basladi\. blokaj=(\d+) g\*=(-?\d+) DS=(-?\d+) h={_REAL}"
                     r" dsg_tiebreak=(acik|kapali)\n")
# At the start of every iteration: number, bound, workers.
ITERATION = re.compile(rf"Iterasyon (\d+) \| esik={_REAL} \| (\d+) thread aciliyor\n")
# Each worker's first line in every iteration.
WORKER_OPENED = re.compile(r"Thread (\d+) acildi\n")
# A worker that took no root item in the iteration.
WORKER_IDLE = re.compile(r"Thread (\d+) bosta kaldi \(hic is alamadi\)\n")
# A worker every 50,000 of its own nodes: iteration, its nodes, bound, least h, seconds.
PROGRESS = re.compile(rf"\[IDA\*\] iter=(\d+) \| thread_nodes=(\d+) \| esik={_REAL}"
                      rf" \| min_h={_REAL} \| sure={_REAL}s\n")
# Endings: a solution (moves, iteration, seconds) ...
SOLVED = re.compile(rf"Cozum bulundu! adim=(\d+) iter=(\d+) sure={_REAL}\n")
# ... no solved position reachable, or the search ran out of moves (seconds) ...
EXHAUSTED = re.compile(rf"Cozum bulunamadi\. sure={_REAL}\n")
# ... the start has no legal move ...
NO_MOVE = "Cozum bulunamadi.\n"
# ... a stop callable asked for it between iterations, or inside the search.
STOPPED_BETWEEN = "IDA* durduruldu, None donuluyor.\n"
STOPPED_IN_SEARCH = "IDA* durduruldu (dfs icinde), None donuluyor.\n"


def untimed(line: str) -> str:
    """The line with its elapsed seconds set to 0, for comparing runs; it
    keeps its shape."""
    return re.sub(r"sure=\d+\.\d{6}", "sure=0.000000", line)
