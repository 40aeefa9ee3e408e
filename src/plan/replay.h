#pragma once
// The check every plan passes before it is handed out: played from the start
// by the board's own move rule (apply_move), it must end on a sorted board.

#include <optional>
#include <span>
#include <vector>

#include "board/layout.h"
#include "board/move.h"
#include "search/path.h"

namespace velmora {

// The plan's steps (slots and item from the move rule; h the lower bound
// after the move, f = g + h), or nullopt when a move is impossible or the
// last board is not sorted.
std::optional<Path> replay(const BoardLayout& layout, std::span<const Move> plan);

// The moves of a replayed plan, back as lanes only.
std::vector<Move> moves_of(const Path& path);

}  // namespace velmora
