"""`velmora solve FILE`: one board, its pictures and the verdict, with an exit
code for each ending."""

from __future__ import annotations

import argparse
import json
import os
from collections.abc import Callable
from typing import IO, Any

from . import options as o
from .board import BadAnswer, BadInput, Board, count, misplaced_count, replay
from .engine import Solver, search, solver_for
from .files import read_board
from .progress import Progress
from .streams import say
from .svg import render_svg
from .text import describe_move, print_board, printable

DESCRIPTION = "Solve a lane-sorting puzzle with the velmora module."


def add_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("board", nargs="?", default="-", metavar="FILE",
                        help='JSON board: {"lanes": [[...], ...]} or a bare list of lanes; '
                             '"-" or nothing reads standard input')
    o.add_search_arguments(parser, threads=8)
    parser.add_argument("--quiet", action="store_true",
                        help="no progress display, and only the verdict line on stdout")
    parser.add_argument("--json", action="store_true",
                        help="print the result as one JSON object on stdout")
    parser.add_argument("--bay", metavar="FILE",
                        help="read the board from a plain-text bay file instead (Tiers:, "
                             "Stacks:, Containers:, then 'Stack i: v v v' bottom first; "
                             "value v is level v + 1); '-' reads standard input")
    parser.add_argument("--svg", metavar="FILE",
                        help="write a picture of the run: one SVG that shows the board "
                             "before and animates the moves")
    parser.add_argument("--still", action="store_true",
                        help="with --svg: every board side by side, no animation (for print)")


def figures(result: dict[str, Any], sep: str) -> str:
    """What a result took: nodes, iterations (or the lower bound), seconds."""
    middle = (count(result["iterations"], "iteration") if "iterations" in result
              else f"lower bound {result['lower_bound']}")
    return sep.join([f"{count(result['nodes_expanded'], 'node')} expanded", middle,
                     f"{result['time']:.3f} s"])


def verdict(status: str, result: dict[str, Any] | None, time_limit: float | None) -> str:
    if status == "stopped":
        limit = "" if time_limit is None else f" within the time limit of {time_limit:g} s"
        return f"stopped: no solution{limit}"
    if status == "no_solution":
        return "no solution: the search tried every sequence of moves it could reach"
    assert result is not None
    solved = f"solved in {count(result['num_moves'], 'move')}"
    if result.get("status") == "feasible":
        return f"{solved}, not proven the fewest (lower bound {result['lower_bound']})"
    return solved + (", the fewest" if result.get("status") == "optimal" else "")


def main(args: argparse.Namespace, prog: str, stdin: IO[str] | None, out: IO[str],
         err: IO[str], solver: Solver | None = None) -> int:
    def fail(code: int, message: str) -> int:
        say(err, prog, message)
        return code

    source = args.board if args.bay is None else args.bay
    if args.bay is not None and args.board != "-":
        return fail(o.EXIT_BAD_INPUT, "give either a JSON board or --bay FILE, not both")
    if args.still and args.svg is None:
        return fail(o.EXIT_BAD_INPUT, "--still needs --svg FILE")
    if args.tiebreak and args.engine != "first":
        return fail(o.EXIT_BAD_INPUT, "--tiebreak goes with --engine first only")
    if args.svg is not None and not os.path.isdir(os.path.dirname(args.svg) or "."):
        return fail(o.EXIT_BAD_INPUT, f"cannot write {args.svg}: no such folder")
    if source == "-" and stdin is not None and stdin.isatty():
        return fail(o.EXIT_BAD_INPUT, "no board: give a JSON file, or pipe one into standard input")
    try:
        board, headers = read_board(source, stdin, bay=args.bay is not None)
        solver = solver or solver_for(args.engine)
    except BadInput as e:
        return fail(o.EXIT_BAD_INPUT, str(e))
    title = headers.get("Name") or ("standard input" if source == "-" else
                                    os.path.basename(source))

    def picture(summary: str, result: dict[str, Any] | None = None) -> int | None:
        """Writes the --svg file, if asked; an exit code when it cannot."""
        if args.svg is None:
            return None
        try:
            with open(args.svg, "w", encoding="utf-8") as f:
                f.write(render_svg(board, result, title, summary, still=args.still))
        except OSError as e:
            return fail(o.EXIT_BAD_INPUT, f"cannot write {args.svg}: {e.strerror or e}")
        return None

    text_out = not args.json and not args.quiet
    if text_out:
        if headers:
            print(printable(" · ".join(headers[k] for k in ("Name", "Description")
                                       if headers.get(k))), file=out)
        print_board(f"board: {count(len(board), 'lane')}, "
                    f"{count(misplaced_count(board), 'misplaced item')} "
                    "(front on the left, [n] = misplaced)", board, out)
        out.flush()

    progress = None if args.quiet else Progress(err, tty=err.isatty())
    try:
        status, result, stop = search(solver, args.engine, board, threads=args.threads,
                                      tiebreak=args.tiebreak, time_limit=args.time_limit,
                                      log=progress.feed if progress else None)
    except (ValueError, TypeError) as e:
        if progress:
            progress.finish(None)
        return fail(o.EXIT_BAD_INPUT, f"the board was refused: {e}")
    except Exception as e:  # MemoryError, RuntimeError: the module could not run
        if progress:
            progress.finish(None)
        return fail(o.EXIT_BAD_INPUT, f"the solver failed: {type(e).__name__}: {e}")
    if progress:
        progress.finish(result)
    if stop.interrupted.is_set():
        return fail(o.EXIT_INTERRUPTED, "interrupted (Ctrl-C)")
    return report(args, status, result, board, out, picture, fail)


def report(args: argparse.Namespace, status: str, result: dict[str, Any] | None, board: Board,
           out: IO[str], picture: Callable[..., int | None], fail: Callable[[int, str], int]
           ) -> int:
    """Prints the verdict (and the moves and the board after them) and
    writes the picture; the exit code."""
    said = verdict(status, result, args.time_limit)
    if status != "solved":
        code = o.EXIT_STOPPED if status == "stopped" else o.EXIT_NO_SOLUTION
        if args.json:
            print(json.dumps({"status": status, "result": result, "board_after": None}), file=out)
        else:
            print(said, file=out)
        return picture(said) or code

    assert result is not None
    try:
        after = replay(board, result)
    except BadAnswer as e:
        return fail(o.EXIT_BAD_ANSWER, f"the module's solution does not check out: {e}")
    written = picture(f"{count(result['num_moves'], 'move')} · {figures(result, ' · ')}", result)
    if written is not None:
        return written

    if args.json:
        print(json.dumps({"status": "solved", "result": result, "board_after": after}), file=out)
        return o.EXIT_SOLVED
    if not args.quiet:
        print(f"\n{count(result['num_moves'], 'move')} ({figures(result, ', ')}):", file=out)
        digits = len(str(result["num_moves"]))
        for g, move in enumerate(result["moves"], start=1):
            print(f"  {g:>{digits}}. {describe_move(move)}", file=out)
        print(file=out)
        print_board("board after the moves:", after, out)
        print(file=out)
    print(said, file=out)
    return o.EXIT_SOLVED
