#pragma once
// The texts of one attribute table by record number, for the text rewrite: where each text lies in one
// pool of UTF-16, by number. The rewrite looks a number up for every linked text element, hundreds of
// thousands of times: a lookup reads one place and the text's own characters, and nothing is allocated
// or counted per text. Small numbers, as record numbers nearly always are, index an array directly (a
// table's array stays in the cache); any other number goes to a flat table (open addressing,
// openaddressing.h).

#include <QLatin1String>
#include <QStringView>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "catalog/openaddressing.h"

namespace vexilo::catalog {

// A record's text as the reader returns it; `null` when tmapa and tcomplet are both Null. The view is
// over the table's pool: valid while the table lives.
struct RecordText {
    QStringView texto;
    bool null = false;
};

class RecordTexts {
  public:
    RecordTexts() { m_slots.resize(openaddressing::capacityFor(0)); }

    // The text of record `number`, if the table holds that number.
    std::optional<RecordText> find(std::int32_t number) const {
        const Place& s = placeOf(number);
        if (s.length == kEmpty) {
            return std::nullopt;
        }
        if (s.length == kNull) {
            return RecordText{{}, true};
        }
        return RecordText{QStringView(unitsAt(s), s.length), false};
    }

    // Keeps the text (std::nullopt: Null) of the record at `order` in the table's stored order for
    // `number`, unless a record before it holds the number: a shared number reads as its first record,
    // whatever order the records come in. The characters are copied into the pool.
    void add(std::int32_t number, std::optional<QStringView> text, std::int64_t order) {
        put(number, text ? &*text : nullptr, order);
    }
    void add(std::int32_t number, QLatin1String text, std::int64_t order) { put(number, &text, order); }

    std::size_t size() const { return m_size; }

    // Lets go of what only adding needs, once the table is read. A text added after still keeps a number
    // that has one already.
    void loaded() {
        m_denseOrder.clear();
        m_denseOrder.shrink_to_fit();
    }

  private:
    static constexpr std::int32_t kEmpty = -2;  // a slot no number took
    static constexpr std::int32_t kNull = -1;   // a record whose text is Null

    struct Place {
        std::uint32_t offset = 0;  // in the pool: its block (the high bits) and the place in the block
        std::int32_t length = kEmpty;
    };
    struct Slot {
        std::int32_t number = 0;
        Place place;
        std::int64_t order = 0;
    };

    // A text's units as the pool takes them: Latin-1 bytes widen one by one as they are copied.
    static const char16_t* unitsOf(QStringView text) { return text.utf16(); }
    static const unsigned char* unitsOf(QLatin1String text) {
        return reinterpret_cast<const unsigned char*>(text.data());
    }

    // Numbers below this index m_dense: at most a few megabytes for a table, however sparse its numbers.
    static constexpr std::int32_t kDenseLimit = 1 << 18;
    static bool dense(std::int32_t number) { return number >= 0 && number < kDenseLimit; }

    const Place& placeOf(std::int32_t number) const {
        static const Place kNone;
        if (dense(number)) {
            const auto at = static_cast<std::size_t>(number);
            return at < m_dense.size() ? m_dense[at] : kNone;
        }
        return m_slots[slotOf(number)].place;
    }

    template <typename View>
    void put(std::int32_t number, const View* text, std::int64_t order) {
        if (m_denseOrder.size() != m_dense.size()) {  // added to after loaded(): the kept texts stay
            m_denseOrder.resize(m_dense.size(), std::numeric_limits<std::int64_t>::min());
        }
        const bool known = placeOf(number).length != kEmpty;
        if (known && order >= orderOf(number)) {
            return;
        }
        const Place place = pooled(text);
        if (known) {
            replace(number, place, order);  // the text it replaces stays in the pool, unused
            return;
        }
        ++m_size;
        if (dense(number)) {
            const auto at = static_cast<std::size_t>(number);
            if (at >= m_dense.size()) {
                const std::size_t size =
                    std::min<std::size_t>(kDenseLimit, std::max(at + 1, m_dense.size() * 2));
                // Room for the largest array at once (address space only, until written): grown by
                // doubling, every new page was zeroed and then copied, a page fault each.
                m_dense.reserve(kDenseLimit);
                m_denseOrder.reserve(kDenseLimit);
                m_dense.resize(size);
                m_denseOrder.resize(size);
            }
            m_dense[at] = place;
            m_denseOrder[at] = order;
            return;
        }
        m_slots[slotOf(number)] = Slot{number, place, order};
        if (openaddressing::mustGrow(++m_sparse, m_slots.size())) {
            std::vector<Slot> old(m_slots.size() * 2);
            old.swap(m_slots);
            for (const Slot& o : old) {
                if (o.place.length != kEmpty) {
                    m_slots[slotOf(o.number)] = o;
                }
            }
        }
    }

    std::int64_t orderOf(std::int32_t number) const {
        return dense(number) ? m_denseOrder[static_cast<std::size_t>(number)] : m_slots[slotOf(number)].order;
    }

    void replace(std::int32_t number, Place place, std::int64_t order) {
        if (dense(number)) {
            m_dense[static_cast<std::size_t>(number)] = place;
            m_denseOrder[static_cast<std::size_t>(number)] = order;
            return;
        }
        Slot& s = m_slots[slotOf(number)];
        s.place = place;
        s.order = order;
    }

    // The pool is made of blocks that never move: a text lies whole in one block, the next text going
    // to a new block when it does not fit in what is left, and a text longer than a block to a block of
    // its own. A pool grown as one array wrote every text again to fresh memory at each doubling, and
    // fresh memory costs a page fault for every four kilobytes (a table's texts are a megabyte or more).
    static constexpr unsigned kBlockBits = 15;
    static constexpr std::size_t kBlockUnits = std::size_t{1} << kBlockBits;  // 64 KB

    const char16_t* unitsAt(const Place& p) const {
        static constexpr char16_t kNone = 0;
        return p.length == 0 ? &kNone
                             : m_blocks[p.offset >> kBlockBits].get() + (p.offset & (kBlockUnits - 1));
    }

    // The text's characters copied to the pool, and where they lie.
    template <typename View>
    Place pooled(const View* text) {
        if (text == nullptr) {
            return Place{0, kNull};
        }
        const auto length = static_cast<std::size_t>(text->size());
        if (length == 0) {
            return Place{0, 0};
        }
        if (m_blocks.size() >= (std::size_t{1} << (32 - kBlockBits)) - 1) {
            throw std::length_error("attribute texts beyond 8 GB");  // far beyond any memory
        }
        if (length > kBlockUnits) {
            m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(length));
            m_blockUsed = kBlockUnits;  // the next text goes to a new block
            std::copy_n(unitsOf(*text), length, m_blocks.back().get());
            return Place{static_cast<std::uint32_t>((m_blocks.size() - 1) << kBlockBits),
                         static_cast<std::int32_t>(length)};
        }
        if (m_blocks.empty() || m_blockUsed + length > kBlockUnits) {
            m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(kBlockUnits));
            m_blockUsed = 0;
        }
        const Place place{static_cast<std::uint32_t>(((m_blocks.size() - 1) << kBlockBits) + m_blockUsed),
                          static_cast<std::int32_t>(length)};
        std::copy_n(unitsOf(*text), length, m_blocks.back().get() + m_blockUsed);
        m_blockUsed += length;
        return place;
    }

    // The slot of `number`, or the empty slot where it would go.
    std::size_t slotOf(std::int32_t number) const {
        const auto hash = static_cast<std::size_t>(openaddressing::mix(static_cast<std::uint32_t>(number)));
        return openaddressing::probe(hash, m_slots.size(), [&](std::size_t i) {
            return m_slots[i].place.length == kEmpty || m_slots[i].number == number;
        });
    }

    std::vector<Place> m_dense;              // by number
    std::vector<std::int64_t> m_denseOrder;  // by number: the stored order of the record kept, for loading
    std::vector<Slot> m_slots;
    std::size_t m_sparse = 0;                           // numbers in m_slots
    std::vector<std::unique_ptr<char16_t[]>> m_blocks;  // the pool
    std::size_t m_blockUsed = 0;                        // units of the last block taken
    std::size_t m_size = 0;
};

}  // namespace vexilo::catalog
