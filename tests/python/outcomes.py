"""Judging what a call returned, independently of the module: a solution is
replayed with the move rules, a None must match its last log line, and a
tree reported exhausted is checked by visiting every reachable board."""

import threading

from conftest import apply, blokaj, front_slot, low8, replay

# Millions of nodes and no end of its own: only a stop ends it.
LONG = [[0, 0, 0, 2, 4], [0, 5, 1, 5, 3], [4, 2, 1, 3, 1]]
# Small boards with known endings.
ONE_MOVE = [[0, 3, 1], [0, 0, 2], [0, 0, 0]]
TRAP = [[0, 0, 0], [0, 0, 1], [2, 1, 2], [5, 4, 5]]  # solved from iteration 2
THREE_ITERATIONS = [[0, 5, 5, 3], [0, 3, 1, 4], [0, 0, 3, 2], [0, 4, 1, 1], [0, 0, 5, 4],
                    [0, 1, 2, 2]]
FIVE_LANES = [[3, 4, 4, 1], [0, 5, 2, 2], [0, 0, 1, 1], [0, 0, 0, 3], [0, 0, 5, 2]]
SIX_LANES = [[1, 2, 4, 1], [0, 0, 0, 2], [0, 5, 1, 3], [0, 4, 4, 3], [0, 1, 3, 2], [0, 0, 5, 5]]
EXHAUSTED = [[1, 3, 2], [0]]  # one move there and back: the tree ends
NO_MOVE = [[2, 1]]  # one full lane

STOP_LINES = ("IDA* durduruldu, None donuluyor.\n",
              "IDA* durduruldu (dfs icinde), None donuluyor.\n")


def quiet(_text):
    pass


class StopAfter:
    """A stop callable that answers False to its first `polls` calls and True
    from then on; safe to call from several threads."""

    def __init__(self, polls):
        self.polls = polls
        self.calls = 0
        self._lock = threading.Lock()

    def __call__(self):
        with self._lock:
            self.calls += 1
            return self.calls > self.polls

    @property
    def fired(self):
        return self.calls > self.polls


def moves_from(board):
    """Every legal (src, dst) pair on `board`."""
    sources = [i for i, lane in enumerate(board) if front_slot(lane) >= 0]
    targets = [i for i, lane in enumerate(board) if lane and front_slot(lane) != 0]
    return [(s, d) for s in sources for d in targets if s != d]


def tree_reaches_goal(lanes, limit=100_000):
    """Walks the whole search tree below `lanes`: every legal move, except
    that a move never undoes the one before it (the search leaves that one
    out). True or False when the tree was walked to its end within `limit`
    nodes; None when it is larger (or endless)."""
    todo = [(tuple(tuple(lane) for lane in low8(lanes)), None)]
    nodes = 0
    while todo:
        board, last = todo.pop()
        nodes += 1
        if nodes > limit:
            return None
        if blokaj(board) == 0:
            return True
        for src, dst in moves_from(board):
            if last is not None and (dst, src) == last:
                continue
            child = tuple(tuple(lane) for lane in apply(board, src, dst)[0])
            todo.append((child, (src, dst)))
    return False


def check_outcome(lanes, result, lines, stopper=None):
    """Asserts that `result` and the log `lines` of one call on `lanes` are a
    correct ending. `stopper` is the StopAfter passed in, if any (None means
    that no stop callable could have asked to stop)."""
    assert lines and lines[0].startswith("IDA* basladi. blokaj=")
    last = lines[-1]
    if result is not None:
        assert blokaj(replay(lanes, result)) == 0
        if result["iterations"] == 0:
            assert result["num_moves"] == 0 and blokaj(low8(lanes)) == 0 and len(lines) == 1
        else:
            assert last.startswith(f"Cozum bulundu! adim={result['num_moves']} "
                                   f"iter={result['iterations']} sure=")
        return "solved"
    if last in STOP_LINES:
        assert stopper is not None and stopper.fired, "stopped though nothing asked to"
        return "stopped"
    if last == "Cozum bulunamadi.\n":
        assert moves_from(low8(lanes)) == [], "no root work claimed on a board with moves"
        assert blokaj(low8(lanes)) > 0
        return "no move"
    assert last.startswith("Cozum bulunamadi. sure="), last
    assert tree_reaches_goal(lanes) is False, "exhausted tree claimed, but it holds a goal"
    return "exhausted"
