#pragma once
// Open addressing with linear probing over a power-of-two table: the one
// probing rule and the one grow loop behind every hash table of the core
// (the enumeration's positions and states, the fast kernel's children of a
// node, the proof that move keys are distinct). Each table says what a free
// entry is and which entry it looks for; its entries are its own.

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora {

// The slot where probing from `start` first meets an entry that is free or
// that `is_it` accepts. The table holds at least one free entry.
template <class Entry, class IsFree, class IsIt>
std::size_t probe(std::span<const Entry> table, uint64_t start, const IsFree& is_free,
                  const IsIt& is_it) {
  assert(std::has_single_bit(table.size()));
  const std::size_t mask = table.size() - 1;
  std::size_t i = static_cast<std::size_t>(start) & mask;
  while (!is_free(table[i]) && !is_it(table[i])) i = (i + 1) & mask;
  return i;
}

// The first free slot from `start` on.
template <class Entry, class IsFree>
std::size_t free_slot(std::span<const Entry> table, uint64_t start, const IsFree& is_free) {
  return probe(table, start, is_free, [](const Entry&) { return false; });
}

// Puts every entry of `from` into `to` (larger, every entry free), each where
// probing from `start_of(entry)` first finds room.
template <class Entry, class IsFree, class StartOf>
void rehash(std::span<const Entry> from, std::span<Entry> to, const IsFree& is_free,
            const StartOf& start_of) {
  assert(to.size() > from.size());
  for (const Entry& e : from) {
    if (!is_free(e)) to[free_slot<Entry>(to, start_of(e), is_free)] = e;
  }
}

}  // namespace velmora
