"""Lane-sorting puzzle solver: multi-threaded iterative-deepening A*."""

from collections.abc import Callable, Sequence
from typing import Literal, TypeAlias, TypedDict

__version__: str
"""The package version, as in pyproject.toml and the installed metadata."""

Move: TypeAlias = tuple[int, int, int, int, int, int, float, float, float]
"""One move of a solution: (src_lane, src_slot, dst_lane, dst_slot, item, g, h, f, aux).

Lanes and slots are 0-based indices into the input board; src_slot is the slot
the item left, dst_slot the slot it lies in afterwards; g is the move's 1-based
position in the solution, h and f the heuristic and g + h of the board after
the move; aux is always 0.0.
"""

class Result(TypedDict):
    """The dictionary returned for a solved board, keys in this order."""

    num_moves: int
    moves: list[Move]
    time: float
    h_values: list[float]
    f_values: list[float]
    g_values: list[int]
    nodes_expanded: int
    iterations: int

def velmora(
    lanes: Sequence[Sequence[int]],
    log_fn: Callable[[str], object] | None = None,
    stop_get_best_fn: Callable[[], object] | None = None,
    stop_fn: Callable[[], object] | None = None,
    use_dsg_tiebreak: bool = False,
    num_threads: int = 8,
) -> Result | None:
    """Solve a lane-sorting puzzle; None when stopped or without a solution."""
    ...

class PlanResult(TypedDict):
    """The dictionary plan() returns and hands to on_plan, keys in this order.

    status: "optimal" (proven shortest), "feasible" (stopped or out of time
    with a plan), "no_solution" (proven), "stopped" (stopped before any plan).
    moves: Move tuples that replay to a sorted board (h is the proven lower
    bound after the move). lower_bound: no plan is shorter; num_moves when
    optimal. plans: each improvement as (seconds, num_moves), in order.
    """

    status: Literal["optimal", "feasible", "no_solution", "stopped"]
    moves: list[Move]
    num_moves: int
    lower_bound: int
    nodes_expanded: int
    time: float
    plans: list[tuple[float, int]]

def plan(
    lanes: Sequence[Sequence[int]],
    *,
    time_limit: float | None = None,
    num_threads: int = 0,
    stop_fn: Callable[[], object] | None = None,
    on_plan: Callable[[PlanResult], object] | None = None,
    log_fn: Callable[[str], object] | None = None,
) -> PlanResult:
    """Plan the moves that sort a board: a plan at once, then shorter ones until proven shortest."""
    ...
