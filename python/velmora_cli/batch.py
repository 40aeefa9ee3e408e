"""`velmora batch PATH...`: every board file under the paths, solved a few at
a time on this machine's cores or on a Dask cluster, one JSON line per board
in --out; boards already there are skipped, so a batch run again resumes."""

from __future__ import annotations

import argparse
import os
from collections.abc import Iterator
from typing import IO, Any

from . import options as o
from .board import BadInput
from .display import Bar, summary
from .files import parse_any, read_text
from .jobs import Options, fields, record
from .results import Out, read_records, write_csv
from .runners import Task, connect, run_cluster, run_local
from .streams import say

DESCRIPTION = ("Solve every board file (JSON, or a bay file) under the paths, several at "
               "once, writing one JSON line per board to --out.")
EPILOG = ("Boards already in --out are skipped: run the same command again to resume. "
          "Exit codes: 0 every board has its line, 2 bad input, 130 interrupted.")
SUFFIXES = (".json", ".txt", ".bay")  # what a folder's board files end in


def add_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("paths", nargs="*", metavar="PATH",
                        help=f"a board file, or a folder: its files ending in "
                             f"{', '.join(SUFFIXES)}, in every subfolder")
    parser.add_argument("--list", metavar="FILE", dest="list_file",
                        help="also the paths listed in FILE, one a line ('-': standard input)")
    parser.add_argument("--out", required=True, metavar="FILE",
                        help="the JSON lines file: one record per board, appended as each "
                             "ends; the boards it already names are skipped")
    parser.add_argument("--csv", metavar="FILE",
                        help="also write the batch's records as a CSV table at the end")
    o.add_search_arguments(parser, threads=1)
    parser.add_argument("--jobs", type=o.count_arg(1, o.MAX_THREADS), metavar="N",
                        help="boards solved at once (default: cores / threads, at least 1)")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="solve on the Dask cluster of this scheduler (tcp://host:8786) "
                             "instead of this machine's cores")


def board_files(paths: list[str]) -> Iterator[str]:
    """The files named, and the board files under the folders named, each
    once, folders in name order."""
    seen = set()
    for path in paths:
        if os.path.isdir(path):
            found = sorted(os.path.join(top, name) for top, folders, names in os.walk(path)
                           for name in names if name.lower().endswith(SUFFIXES))
        else:
            found = [path]
        for name in found:
            if os.path.normpath(name) not in seen:
                seen.add(os.path.normpath(name))
                yield name


def listed(list_file: str | None, stdin: IO[str] | None) -> list[str]:
    if list_file is None:
        return []
    text, _ = read_text(list_file, stdin)
    return [line.strip() for line in text.splitlines() if line.strip()]


def read_tasks(names: list[str], options: Options) -> tuple[list[Task], list[dict[str, Any]]]:
    """The boards to solve, and a record for each file that holds none."""
    tasks, bad = [], []
    for name in names:
        try:
            text, _ = read_text(name, None)
            tasks.append((name, parse_any(text)[0]))
        except BadInput as e:  # named by the record
            bad.append(record(name, options, "bad_input", error=str(e)))
    return tasks, bad


def main(args: argparse.Namespace, prog: str, stdin: IO[str] | None, out: IO[str],
         err: IO[str]) -> int:
    options = Options(args.engine, args.threads, args.tiebreak, args.time_limit)
    if args.tiebreak and args.engine != "first":
        say(err, prog, "--tiebreak goes with --engine first only")
        return o.EXIT_BAD_INPUT
    try:
        names = list(board_files(args.paths + listed(args.list_file, stdin)))
        if not names:
            raise BadInput("no board files under the paths given")
        done = read_records(args.out)
        todo = [name for name in names if name not in done]
        client = connect(args.scheduler) if args.scheduler is not None else None
        tasks, bad = read_tasks(todo, options)
        sink = Out(args.out)
    except BadInput as e:
        say(err, prog, str(e))
        return o.EXIT_BAD_INPUT
    except OSError as e:  # --out cannot be read or opened
        say(err, prog, f"{args.out}: {e.strerror or e}")
        return o.EXIT_BAD_INPUT
    if len(todo) < len(names):
        say(err, prog, f"{len(names) - len(todo)} of {len(names)} boards already in {args.out}")

    bar = Bar(err, len(todo))

    def take(result: dict[str, Any]) -> None:
        sink.write(result)
        done[result["name"]] = result
        bar.add(result)

    code = o.EXIT_SOLVED
    try:
        for result in bad:
            take(result)
        if client is not None:
            run_cluster(tasks, options, client, take)
        elif tasks:
            cores = os.process_cpu_count() or 1
            jobs = args.jobs or max(1, cores // (args.threads or cores))
            run_local(tasks, options, min(jobs, len(tasks)), take)
    except KeyboardInterrupt:
        code = o.EXIT_INTERRUPTED
    except (BadInput, OSError, RuntimeError) as e:  # no cluster, --out unwritable, a pool broke
        say(err, prog, str(e))
        code = o.EXIT_BAD_INPUT
    finally:
        bar.close()
        sink.close()
    ours = [done[name] for name in names if name in done]
    if args.csv is not None:
        try:
            write_csv(args.csv, fields(options), ours)
        except OSError as e:
            say(err, prog, f"cannot write {args.csv}: {e.strerror or e}")
            code = code or o.EXIT_BAD_INPUT
    if code == o.EXIT_INTERRUPTED:
        say(err, prog, f"interrupted (Ctrl-C): {len(ours)} of {len(names)} boards in "
                       f"{args.out}; run the same command again to go on")
    print("\n".join(summary(ours)), file=out)
    return code
