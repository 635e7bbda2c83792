#include "catalog/mslinkpositions.h"

namespace vexilo::catalog {

const MslinkPositions::Place* MslinkPositions::placeOf(std::size_t n) const {
    const std::unique_ptr<Page>& page = m_pages[n >> kPageBits];
    return page ? &(*page)[n % page->size()] : nullptr;
}

MslinkPositions::Place& MslinkPositions::placeFor(std::size_t n) {
    std::unique_ptr<Page>& page = m_pages[n >> kPageBits];
    if (!page) {
        page = std::make_unique<Page>();
    }
    return (*page)[n % page->size()];
}

void MslinkPositions::add(std::int64_t n, Pos pos) {
    if (!dense(n)) {
        insertSorted(m_sparse[n], pos);
        return;
    }
    const auto at = static_cast<std::size_t>(n);
    Place& place = placeFor(at);
    if (place.first == kNone) {
        place.first = pos;
        m_carried.insert(at);
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
    const Place* place = placeOf(static_cast<std::size_t>(n));
    if (place == nullptr || place->first == kNone) {
        return std::nullopt;
    }
    return place->first;
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
    Place& place = placeFor(at);
    if (place.more != 0 && !m_more[place.more - 1].empty()) {
        std::vector<Pos>& more = m_more[place.more - 1];
        place.first = more.front();
        more.erase(more.begin());
        return false;
    }
    place.first = kNone;
    m_carried.erase(at);
    return true;
}

std::optional<std::int64_t> MslinkPositions::highestBelow(std::int64_t bound) const {
    std::optional<std::int64_t> highest;
    if (bound > 0) {
        if (const std::optional<std::size_t> dense =
                m_carried.highestBelow(static_cast<std::size_t>(bound))) {
            highest = static_cast<std::int64_t>(*dense);
        }
    }
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
