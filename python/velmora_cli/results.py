"""The batch's --out file, one JSON object a line, and the CSV made from it.
Every record is written whole and flushed as its board ends, so the file is
the batch's memory: a batch run again skips every board it names."""

from __future__ import annotations

import csv
import json
import os
from collections.abc import Iterable
from typing import IO, Any

from .board import BadInput


def repair(path: str) -> None:
    """Cuts a last line that a killed batch left without its end."""
    with open(path, "rb+") as f:
        if f.seek(0, os.SEEK_END) == 0:
            return
        f.seek(-1, os.SEEK_END)
        if f.read(1) != b"\n":
            f.seek(0)
            f.truncate(f.read().rfind(b"\n") + 1)


def read_records(path: str) -> dict[str, dict[str, Any]]:
    """The records of an --out file by board name (the last one of a name
    counts); {} when there is no file yet."""
    if not os.path.exists(path):
        return {}
    repair(path)
    records: dict[str, dict[str, Any]] = {}
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, start=1):
            try:
                record = json.loads(line)
                records[record["name"]] = record
            except (ValueError, TypeError, KeyError):
                raise BadInput(f"{path}, line {n}: not a record of a batch; give another "
                               "--out file") from None
    return records


class Out:
    """The --out file, open for appending."""

    def __init__(self, path: str) -> None:
        self.path = path
        self.file: IO[str] = open(path, "a", encoding="utf-8")

    def write(self, record: dict[str, Any]) -> None:
        self.file.write(json.dumps(record) + "\n")  # one call: a Ctrl-C lands before or after
        self.file.flush()

    def close(self) -> None:
        self.file.close()


def csv_cell(key: str, value: Any) -> object:
    if key == "moves" and value is not None:
        return " ".join(f"{move[0]}>{move[2]}" for move in value)  # lane to lane
    return "" if value is None else value


def write_csv(path: str, fields: Iterable[str], records: Iterable[dict[str, Any]]) -> None:
    """A table of the records; moves as "src>dst" pairs."""
    fields = list(fields)
    with open(path, "w", encoding="utf-8", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(fields)
        for record in records:
            writer.writerow([csv_cell(key, record.get(key)) for key in fields])
