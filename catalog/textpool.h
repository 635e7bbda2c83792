#pragma once
// The characters of many texts, appended one text after another and read back by offset, in blocks that
// never move: a pool grown by doubling copied every character it held at each growth, into pages the
// system had to fault in afresh. A text never straddles two blocks; a text longer than a block has a run
// of block numbers over one allocation, so the block of any offset is the offset's high bits.

#include <QStringView>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

namespace vexilo::catalog {

class TextPool {
  public:
    // Copies the units [from, to) (UTF-16, or Latin-1 bytes that widen as they are copied) to the pool and
    // returns the offset of the first.
    template <typename Unit>
    std::uint32_t append(const Unit* from, const Unit* to) {
        const auto n = static_cast<std::uint64_t>(to - from);
        if (n == 0) {
            return 0;
        }
        const std::uint64_t room = static_cast<std::uint64_t>(m_blocks.size()) << kShift;
        if (m_end + n > room) {  // a new block, or a run of them for a long text
            const std::uint64_t count = (n + kBlock - 1) >> kShift;
            if (room + (count << kShift) > kLimit) {
                throw std::length_error("attribute texts beyond 4 G characters");  // far beyond any memory
            }
            m_owned.push_back(std::make_unique_for_overwrite<char16_t[]>(count << kShift));
            for (std::uint64_t i = 0; i < count; ++i) {
                m_blocks.push_back(m_owned.back().get() + (i << kShift));
            }
            m_end = room;
        }
        const auto offset = static_cast<std::uint32_t>(m_end);
        std::copy(from, to, at(offset));
        m_end += n;
        return offset;
    }

    // The `length` units at `offset`, as append returned it; valid while the pool lives.
    QStringView view(std::uint32_t offset, std::uint32_t length) const {
        if (length == 0) {
            return QStringView(u"", 0);
        }
        return QStringView(at(offset), static_cast<qsizetype>(length));
    }

  private:
    static constexpr unsigned kShift = 16;  // blocks of 64 K units, 128 kB
    static constexpr std::uint64_t kBlock = std::uint64_t{1} << kShift;
    static constexpr std::uint64_t kLimit = std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 1;

    char16_t* at(std::uint32_t offset) const { return m_blocks[offset >> kShift] + (offset & (kBlock - 1)); }

    std::vector<char16_t*> m_blocks;  // by block number: where its units start
    std::vector<std::unique_ptr<char16_t[]>> m_owned;
    std::uint64_t m_end = 0;  // the offset the next unit would take
};

}  // namespace vexilo::catalog
