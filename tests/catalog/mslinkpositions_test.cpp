// The records by number behind the attribute index's numbering: whatever the numbers (small ones kept in
// an array made a page of 64 at a time, negative and large ones in a map, the two sides of each
// boundary), each answer must be what a map of sorted lists gives after the same additions and
// renumberings.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "catalog/mslinkpositions.h"

namespace vexilo::catalog {
namespace {

using Pos = MslinkPositions::Pos;

struct Oracle {
    std::map<std::int64_t, std::vector<Pos>> lists;  // sorted; no empty entries

    std::optional<std::int64_t> highestBelow(std::int64_t bound) const {
        auto it = lists.lower_bound(bound);
        if (it == lists.begin()) {
            return std::nullopt;
        }
        return std::prev(it)->first;
    }
};

TEST(MslinkPositions, AnswersAsSortedListsByNumberThroughAdditionsAndRemovals) {
    const std::vector<std::int64_t> numbers = {0,         1,      63,   64,   65,      59999,   60000,
                                               262143,    262144, -1,   -64,  1 << 30, 1000000, INT64_MIN,
                                               INT64_MAX, 131072, 4095, 4096, 1023,    1024,    2047};
    std::mt19937 random(7);
    MslinkPositions positions;
    Oracle oracle;
    Pos next = 0;
    for (int step = 0; step < 20000; ++step) {
        const std::int64_t n = numbers[random() % numbers.size()];
        if (random() % 3 != 0 || oracle.lists.count(n) == 0) {
            // A new record at the end, or one renumbered from elsewhere to an earlier position.
            const Pos pos = random() % 4 == 0 && next > 0 ? static_cast<Pos>(random() % next) : next++;
            std::vector<Pos>& list = oracle.lists[n];
            if (std::find(list.begin(), list.end(), pos) != list.end()) {
                if (list.empty()) {
                    oracle.lists.erase(n);
                }
                continue;
            }
            list.insert(std::upper_bound(list.begin(), list.end(), pos), pos);
            positions.add(n, pos);
        } else {
            std::vector<Pos>& list = oracle.lists[n];
            list.erase(list.begin());
            const bool gone = list.empty();
            if (gone) {
                oracle.lists.erase(n);
            }
            ASSERT_EQ(positions.removeFirst(n), gone) << "step " << step << " number " << n;
        }
        for (const std::int64_t m : numbers) {
            const auto it = oracle.lists.find(m);
            ASSERT_EQ(positions.first(m),
                      it == oracle.lists.end() ? std::nullopt : std::optional<Pos>(it->second.front()))
                << "step " << step << " number " << m;
        }
        for (const std::int64_t bound :
             {std::int64_t{60000}, std::int64_t{1}, std::int64_t{65}, n, n == INT64_MAX ? n : n + 1}) {
            ASSERT_EQ(positions.highestBelow(bound), oracle.highestBelow(bound))
                << "step " << step << " bound " << bound;
        }
    }
}

}  // namespace
}  // namespace vexilo::catalog
