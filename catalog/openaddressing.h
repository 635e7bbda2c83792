#pragma once
// The pieces of the flat hash tables that the job's hot lookups use (the attribute index's texts, the
// run log's keys): open addressing with linear probing over a power-of-two table of slots kept at most
// half full (three quarters for the attribute index's texts, whose slots compare a hash first). One block of
// memory however many keys, no allocation per key, and a probe touches one cache line where a chained table
// walks nodes scattered over the heap.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace vexilo::catalog::openaddressing {

// A table of slots for `count` keys: a power of two, at least twice the keys and never fewer than 64.
inline std::size_t capacityFor(std::size_t count) {
    return std::bit_ceil(std::max<std::size_t>(64, count * 2 + 2));
}

// True when a table of `capacity` slots holding `count` keys must grow to stay at most half full.
inline bool mustGrow(std::size_t count, std::size_t capacity) {
    return count * 2 > capacity;
}

// A 64-bit mix (from splitmix64): consecutive numbers, as record numbers are, spread over the slots.
inline std::uint64_t mix(std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// The first slot from the hash's home on that `stop` accepts: the key's own slot or the empty one where
// it would go. A table at most half full always has an empty slot, so the walk ends.
template <typename Stop>
std::size_t probe(std::size_t hash, std::size_t capacity, Stop stop) {
    const std::size_t mask = capacity - 1;
    std::size_t i = hash & mask;
    while (!stop(i)) {
        i = (i + 1) & mask;
    }
    return i;
}

}  // namespace vexilo::catalog::openaddressing
