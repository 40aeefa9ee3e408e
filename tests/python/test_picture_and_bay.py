# examples/solve.py's --svg picture of a run and its --bay reader.

import json
import re
import xml.etree.ElementTree as ET

import pytest

from conftest import PUZZLES, misplaced_levels, replay, run_cli, run_main

NS = "{http://www.w3.org/2000/svg}"


# --- Bay files ------------------------------------------------------------------

BAY = ("Name: test bay\nDescription: three stacks: Name: and colons are free text\n"
       "Tiers: 3\nStacks: 3\nContainers: 4\nStack 1: 2 0 1\nStack 2:\nStack 3: 4\n")


def bay(*changes):
    text = BAY
    for old, new in zip(changes[::2], changes[1::2]):
        text = text.replace(old, new)
    return text


@pytest.mark.parametrize("text, want", [
    (BAY, [[2, 1, 3], [0, 0, 0], [0, 0, 5]]),  # top first, levels one up
    # Stacks counted from 0, Windows line ends, keys in any case, headers after the stacks.
    ("tiers: 2\r\nStack 0: 1\r\nStack 1: 0 3\r\nSTACKS: 2\r\nContainers: 3\r\n", [[0, 2], [4, 1]]),
    (bay("Stack 3: 4", "Stack 3: 5"), "line 8: value 5 would be level 6"),
    (bay("Stacks: 3", "Stacks: 4"), "line 4: Stacks: 4, but 3 stack lines follow"),
    (bay("Containers: 4", "Containers: 5"), "line 5: Containers: 5, but the stacks hold 4 values"),
    (bay("Stack 2:", "Stack 2: 1 1 1 1", "Containers: 4", "Containers: 8"),
     "line 7: 4 values in a stack, more than Tiers: 3"),
    (bay("Tiers: 3", "Tiers: 0"), "line 3: Tiers: needs a whole number >= 1, not '0'"),
    (bay("Stack 1: 2 0 1", "Stack 1: 2 -1"), "line 6: '-1' is not a value"),
    (bay("Stack 2:", "Stack 4:"), "line 7: stack 4 where stack 2 was expected"),
    (bay("Tiers: 3", "Tiers = 3"), "line 3: not a bay line"),
    (bay("Name: test bay", "Stacks: 3"), "line 4: a second Stacks: line (the first is line 1)"),
    (bay("Tiers: 3\n", ""), "no Tiers: line"),
])
def test_bay_stacks_become_lanes_and_refusals_exit_2_naming_the_line(text, want):
    code, boards, _, err = run_main("--bay", "-", "--quiet", text=text)
    if isinstance(want, list):  # the stub solver answers None: no solution
        assert (code, boards, err) == (1, [want], "")
    else:
        assert (code, boards, err.count("\n")) == (2, [], 1), err
        assert err.startswith(f"solve.py: standard input: {want}"), err


# --- The SVG picture --------------------------------------------------------------


def frame_board(frame, shape):  # the board a frame shows, and each lane's marked items
    board, marked = [[0] * n for n in shape], [0] * len(shape)
    for item in frame.iter(NS + "g"):
        classes = item.get("class", "").split()
        if "item" in classes:
            lane, text = int(item.get("data-lane")), item.find(NS + "text").text
            board[lane][int(item.get("data-slot"))] = int(text.strip("[]"))
            assert text.startswith("[") == ("misplaced" in classes), text  # as the text picture
            marked[lane] += "misplaced" in classes
    return board, marked


def item_at(frame, lane, slot):  # where the frame draws the item of that slot
    (item,) = [g for g in frame.iter(NS + "g")
               if (g.get("data-lane"), g.get("data-slot")) == (str(lane), str(slot))]
    return tuple(map(float, re.fullmatch(r"translate\((\S+),(\S+)\)",
                                         item.get("transform")).groups()))


def begin(group):
    return float(group.find(NS + "set").get("begin").removesuffix("s"))


@pytest.mark.parametrize("source", ["small.json", "bay-small.txt", "bay-medium.txt"])
@pytest.mark.parametrize("still", [False, True], ids=["animated", "still"])
def test_svg_steps_through_every_move_to_the_replayed_board(tmp_path, source, still):
    svg = tmp_path / "run.svg"
    bay = ["--bay"] if source.endswith(".txt") else []
    proc = run_cli(*bay, PUZZLES / source, "--json", "--svg", svg, *["--still"] * still)
    assert proc.returncode == 0, proc.stderr
    doc, text = json.loads(proc.stdout), svg.read_text()
    result, root = doc["result"], ET.fromstring(text)
    assert root.tag == NS + "svg"  # self-contained: no script, link, style or DTD
    tags = {node.tag.removeprefix(NS) for node in root.iter()}
    assert not tags & {"script", "image", "foreignObject", "style", "use", "a"}, tags
    values = [v for node in root.iter() for v in [*node.attrib, *node.attrib.values()]]
    assert not [v for v in values if re.search(r"href|url\(|://|@import|@font-face", v)]
    assert "<!" not in text and "<?" not in text

    start = (json.loads((PUZZLES / source).read_text())["lanes"] if not bay
             else run_main("--bay", "-", text=(PUZZLES / source).read_text())[1][0])
    shape = [len(lane) for lane in start]
    frames = sorted((g for g in root.iter(NS + "g") if g.get("class") == "frame"),
                    key=lambda g: int(g.get("data-step")))
    assert [int(g.get("data-step")) for g in frames] == list(range(result["num_moves"] + 1))
    boards = [frame_board(frame, shape) for frame in frames]
    assert boards[0] == (start, [misplaced_levels(lane) for lane in start])
    assert boards[-1] == (replay(start, result), [0] * len(start))
    assert doc["board_after"] == boards[-1][0]

    caption = root.find(f"{NS}text[@class='caption']").text
    n, nodes, iterations = result["num_moves"], result["nodes_expanded"], result["iterations"]
    assert re.fullmatch(rf"{n} moves? · {nodes:,} nodes? expanded · {iterations} iterations? · "
                        r"\d+\.\d{3} s", caption), caption

    moves = [g for g in root.iter(NS + "g") if g.get("class") == "move"]
    animations = [node for node in root.iter() if node.tag in (NS + "set", NS + "animateTransform")]
    if still:
        assert moves == [] and animations == []
        return
    assert len(moves) == n
    times = []
    for k, (move_g, move) in enumerate(zip(moves, result["moves"]), start=1):
        assert (int(move_g.get("data-step")), int(move_g.get("data-src")),
                int(move_g.get("data-dst"))) == (k, move[0], move[2])
        # Shown while the item travels: from where the board before has it to
        # where the board after has it.
        (travel,) = move_g.iter(NS + "animateTransform")
        shown = move_g.find(NS + "set")
        assert (travel.get("begin"), travel.get("dur")) == (shown.get("begin"), shown.get("dur"))
        path = [tuple(map(float, xy.split(","))) for xy in travel.get("values").split(";")]
        assert path[0] == item_at(frames[k - 1], move[0], move[1])
        assert path[-1] == item_at(frames[k], move[2], move[3])
        times += [begin(move_g), begin(frames[k])]
    assert times == sorted(set(times)) and begin(frames[0]) == times[0]  # frame 0 hides then
    last = frames[-1].find(NS + "set")  # the solved board stays
    assert (last.get("fill"), last.get("dur")) == ("freeze", None)


def test_svg_of_a_board_without_solution_shows_it_with_the_verdict(tmp_path):
    svg = tmp_path / "stuck.svg"
    proc = run_cli("--quiet", "--svg", svg, PUZZLES / "stuck.json")
    assert proc.returncode == 1, proc.stderr
    root = ET.fromstring(svg.read_text())
    frames = [g for g in root.iter(NS + "g") if g.get("class") == "frame"]
    assert len(frames) == 1 and frame_board(frames[0], [2]) == ([[2, 1]], [1])
    assert root.find(f"{NS}text[@class='caption']").text.startswith("no solution")
