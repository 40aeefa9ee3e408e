"""Option values shared by the subcommands, and the exit codes."""

from __future__ import annotations

import argparse
from collections.abc import Callable

EXIT_SOLVED = 0
EXIT_NO_SOLUTION = 1
EXIT_BAD_INPUT = 2
EXIT_STOPPED = 3
EXIT_BAD_ANSWER = 4
EXIT_INTERRUPTED = 130
EXIT_CODES = ("Exit codes: 0 solved, 1 no solution, 2 bad input, 3 stopped by the time limit, "
              "4 the answer failed the replay check, 130 interrupted.")

MAX_THREADS = 4096


def count_arg(least: int, most: int, meaning: str = "") -> Callable[[str], int]:
    def parse(text: str) -> int:
        try:
            n = int(text)
        except ValueError:
            raise argparse.ArgumentTypeError(f"not a whole number: {text[:20]!r}") from None
        if not least <= n <= most:
            raise argparse.ArgumentTypeError(f"must be {least}{meaning} to {most}, not {n}")
        return n
    return parse


threads_arg = count_arg(0, MAX_THREADS, " (all cores)")


def seconds_arg(text: str) -> float:
    try:
        s = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text[:20]!r}") from None
    if not s >= 0 or s == float("inf"):
        raise argparse.ArgumentTypeError(f"must be a finite number of seconds >= 0, not {text}")
    return s


def add_search_arguments(parser: argparse.ArgumentParser, threads: int) -> None:
    """The options of one search, the same for every board of a batch."""
    parser.add_argument("--threads", type=threads_arg, default=threads, metavar="N",
                        help=f"worker threads for a board (default {threads}; 0 = as many as "
                             "the machine has)")
    parser.add_argument("--tiebreak", action="store_true",
                        help="order successors of equal f by the deficit score "
                             "(--engine first only)")
    parser.add_argument("--time-limit", type=seconds_arg, metavar="SECONDS",
                        help="stop the search of a board after this many seconds "
                             "(solve: exit code 3)")
    parser.add_argument("--engine", choices=("first", "shortest"), default="first",
                        help="first: the first solution IDA* finds (default); shortest: the "
                             "fewest moves, with a lower bound when stopped early")
