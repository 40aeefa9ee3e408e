"""The standard streams as the command uses them: a closed one stands in as
an object that fails on use, an encoding without the pictures' characters
gets plain ones, and a failed write ends in exit code 2 with one line on
standard error, never a traceback."""

from __future__ import annotations

import errno
import os
import sys
from typing import IO

from .text import fit_encoding, printable


class Closed:
    """A standard output that was closed before the command started (>&-)."""

    encoding = "utf-8"

    def write(self, text: str) -> int:
        raise OSError(errno.EBADF, "it is closed")

    def flush(self) -> None:
        pass

    def isatty(self) -> bool:
        return False


def standard_streams() -> tuple[IO[str] | None, IO[str], IO[str]]:
    """(standard input or None when closed, output, error)."""
    out = fit_encoding(sys.stdout) if sys.stdout is not None else Closed()
    err = fit_encoding(sys.stderr) if sys.stderr is not None else open(os.devnull, "w")
    return sys.stdin, out, err  # type: ignore[return-value]


def say(err: IO[str], prog: str, message: str) -> None:
    """One line on standard error; nothing when that cannot be written."""
    try:
        err.write(f"{prog}: {printable(message)}\n")
        err.flush()
    except (OSError, ValueError):
        drop(sys.stderr)


def drop(stream: IO[str] | None) -> None:
    """After a failed write to a standard stream (a closed pipe, a full disk):
    points it at the null device, so the interpreter's last flush at exit has
    nothing to fail on (it would exit 120)."""
    if stream is None:
        return
    try:
        os.dup2(os.open(os.devnull, os.O_WRONLY), stream.fileno())
    except (OSError, ValueError, AttributeError):
        pass
