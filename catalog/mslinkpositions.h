#pragma once
// The positions of an attribute table's records by record number, for the attribute index: the first
// record carrying a number (the one a renumbering changes) and the highest number below a limit (the
// numbering rule of new records). Record numbers are nearly always small: a number in [0, 2^18) has a
// place in an array, where a tree by number cost a walk of some twenty nodes at random for every record
// loaded and every renumbering; any other number goes to a map. The array is made in pages of 64
// numbers as numbers come: a renumbering run carries records to numbers spread up to 2^18, and one array
// grown by doubling zeroed and moved some twice its final size, a page fault at a time, on the walk's
// thread. Small pages, because those numbers come far apart (one or two to a thousand numbers): a page
// of 1,024 was 8 KB zeroed for each of them.

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "catalog/growingbits.h"

namespace vexilo::catalog {

// Adds `pos` to positions kept in increasing order, after any equal one.
template <typename Positions>
void insertSorted(Positions& v, typename Positions::value_type pos) {
    v.insert(std::upper_bound(v.begin(), v.end(), pos), pos);
}

class MslinkPositions {
  public:
    using Pos = std::uint32_t;

    // Adds the record at `pos` to those numbered `n`, keeping them in natural order.
    void add(std::int64_t n, Pos pos);
    // The first record in natural order numbered `n`, if any.
    std::optional<Pos> first(std::int64_t n) const;
    // Drops the first record numbered `n` (there is one); true when no record carries `n` any more.
    bool removeFirst(std::int64_t n);
    // The highest number below `bound` that some record carries.
    std::optional<std::int64_t> highestBelow(std::int64_t bound) const;

  private:
    static constexpr std::int64_t kDense = std::int64_t{1} << 18;
    static constexpr Pos kNone = ~Pos{0};
    static bool dense(std::int64_t n) { return n >= 0 && n < kDense; }

    // A number's records: the first, and the others in order (an index in m_more plus one; 0: none).
    struct Place {
        Pos first = kNone;
        std::uint32_t more = 0;
    };
    static constexpr int kPageBits = 6;
    using Page = std::array<Place, std::size_t{1} << kPageBits>;
    // The place of a dense number: null when no number of its page was ever carried.
    const Place* placeOf(std::size_t n) const;
    Place& placeFor(std::size_t n);  // makes its page when missing

    std::array<std::unique_ptr<Page>, (kDense >> kPageBits)> m_pages;  // dense numbers, by page
    GrowingBits m_carried;                 // the dense numbers that some record carries
    std::vector<std::vector<Pos>> m_more;  // the records after the first, for numbers with several
    std::map<std::int64_t, std::vector<Pos>> m_sparse;  // every other number; no empty entries
};

}  // namespace vexilo::catalog
