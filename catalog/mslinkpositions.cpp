#include "catalog/mslinkpositions.h"

#include <bit>

namespace vexilo::catalog {

void MslinkPositions::add(std::int64_t n, Pos pos) {
    if (!dense(n)) {
        insertSorted(m_sparse[n], pos);
        return;
    }
    const auto at = static_cast<std::size_t>(n);
    if (at >= m_places.size()) {
        m_places.resize(std::min<std::size_t>(kDense, std::max(at + 1, m_places.size() * 2)));
        m_carried.resize((m_places.size() + 63) / 64);
    }
    Place& place = m_places[at];
    if (place.first == kNone) {
        place.first = pos;
        m_carried[at / 64] |= std::uint64_t{1} << (at % 64);
        return;
    }
    if (place.more == 0) {
        m_more.emplace_back();
        place.more = static_cast<std::uint32_t>(m_more.size());
    }
    std::vector<Pos>& more = m_more[place.more - 1];
    if (pos < place.first) {
        more.insert(more.begin(), place.first);
        place.first = pos;
    } else {
        insertSorted(more, pos);
    }
}

std::optional<MslinkPositions::Pos> MslinkPositions::first(std::int64_t n) const {
    if (!dense(n)) {
        const auto it = m_sparse.find(n);
        return it == m_sparse.end() ? std::nullopt : std::optional<Pos>(it->second.front());
    }
    const auto at = static_cast<std::size_t>(n);
    if (at >= m_places.size() || m_places[at].first == kNone) {
        return std::nullopt;
    }
    return m_places[at].first;
}

bool MslinkPositions::removeFirst(std::int64_t n) {
    if (!dense(n)) {
        const auto it = m_sparse.find(n);
        it->second.erase(it->second.begin());
        if (!it->second.empty()) {
            return false;
        }
        m_sparse.erase(it);
        return true;
    }
    const auto at = static_cast<std::size_t>(n);
    Place& place = m_places[at];
    if (place.more != 0 && !m_more[place.more - 1].empty()) {
        std::vector<Pos>& more = m_more[place.more - 1];
        place.first = more.front();
        more.erase(more.begin());
        return false;
    }
    place.first = kNone;
    m_carried[at / 64] &= ~(std::uint64_t{1} << (at % 64));
    return true;
}

std::optional<std::int64_t> MslinkPositions::highestDenseBelow(std::int64_t bound) const {
    if (bound <= 0 || m_places.empty()) {
        return std::nullopt;
    }
    // The last number to look at, then whole words of the set downwards.
    const auto last = static_cast<std::size_t>(
        std::min<std::int64_t>(bound, static_cast<std::int64_t>(m_places.size())) - 1);
    std::size_t word = last / 64;
    std::uint64_t bits = m_carried[word] & (~std::uint64_t{0} >> (63 - last % 64));
    while (true) {
        if (bits != 0) {
            return static_cast<std::int64_t>(word * 64 + 63 -
                                             static_cast<std::size_t>(std::countl_zero(bits)));
        }
        if (word == 0) {
            return std::nullopt;
        }
        bits = m_carried[--word];
    }
}

std::optional<std::int64_t> MslinkPositions::highestBelow(std::int64_t bound) const {
    std::optional<std::int64_t> highest = highestDenseBelow(bound);
    const auto it = m_sparse.lower_bound(bound);
    if (it != m_sparse.begin()) {
        const std::int64_t sparse = std::prev(it)->first;
        if (!highest || sparse > *highest) {
            highest = sparse;
        }
    }
    return highest;
}

}  // namespace vexilo::catalog
