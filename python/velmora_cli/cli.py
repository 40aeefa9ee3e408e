"""The `velmora` command: `velmora solve FILE` and `velmora batch PATH...`,
and the bare solver of examples/solve.py."""

from __future__ import annotations

import argparse
import sys
from collections.abc import Callable, Sequence
from typing import IO

from . import batch, solve
from .engine import Solver
from .options import EXIT_BAD_INPUT, EXIT_CODES, EXIT_INTERRUPTED, EXIT_SOLVED
from .streams import drop, say, standard_streams

Body = Callable[[IO[str] | None, IO[str], IO[str]], int]


def guarded(prog: str, body: Body, stdin: IO[str] | None = None, stdout: IO[str] | None = None,
            stderr: IO[str] | None = None) -> int:
    """Runs a command on the standard streams (or the ones given): Ctrl-C
    exits 130, a failed write to standard output 2, each with one line."""
    streams = standard_streams()
    if stdin is None and stdout is None:
        stdin = streams[0]
    out, err = stdout or streams[1], stderr or streams[2]
    try:
        code = body(stdin, out, err)
        out.flush()
        return code
    except KeyboardInterrupt:  # outside the search, e.g. while reading standard input
        say(err, prog, "interrupted (Ctrl-C)")
        return EXIT_INTERRUPTED
    except OSError as e:
        drop(sys.stdout)
        say(err, prog, f"cannot write standard output: {e.strerror or e}")
        return EXIT_BAD_INPUT
    except Exception as e:  # MemoryError and the like: one line, not a traceback
        say(err, prog, f"failed: {type(e).__name__}: {e}")
        return EXIT_BAD_INPUT


def parse(parser: argparse.ArgumentParser, argv: Sequence[str] | None
          ) -> argparse.Namespace | int:
    try:
        return parser.parse_args(argv)
    except SystemExit as e:  # argparse has printed the usage and the error, or the help
        return EXIT_BAD_INPUT if e.code else EXIT_SOLVED


def make_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="velmora", description="Solve lane-sorting puzzles with the velmora module.",
        epilog=EXIT_CODES)
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    solve.add_arguments(commands.add_parser(
        "solve", help="solve one board", description=solve.DESCRIPTION, epilog=EXIT_CODES))
    batch.add_arguments(commands.add_parser(
        "batch", help="solve every board under some paths, on this machine or a cluster",
        description=batch.DESCRIPTION, epilog=batch.EPILOG))
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    args = parse(make_parser(), argv)
    if isinstance(args, int):
        return args
    run = solve.main if args.command == "solve" else batch.main
    return guarded("velmora", lambda stdin, out, err: run(args, "velmora", stdin, out, err))


def solve_script(argv: Sequence[str] | None = None, prog: str = "solve.py",
                 solver: Solver | None = None, stdin: IO[str] | None = None,
                 stdout: IO[str] | None = None, stderr: IO[str] | None = None) -> int:
    """examples/solve.py: `velmora solve` under its own name."""
    parser = argparse.ArgumentParser(prog=prog, description=solve.DESCRIPTION, epilog=EXIT_CODES)
    solve.add_arguments(parser)
    args = parse(parser, argv)
    if isinstance(args, int):
        return args
    return guarded(prog, lambda i, o, e: solve.main(args, prog, i, o, e, solver),
                   stdin, stdout, stderr)


def run() -> None:
    """The console script."""
    sys.exit(main())
