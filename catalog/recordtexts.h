#pragma once
// The texts of one attribute table by record number, for the text rewrite: where each text lies in one
// pool of UTF-16, by number. The rewrite looks a number up for every linked text element, hundreds of
// thousands of times: a lookup reads the number's entry, the text's place and its own characters, and
// nothing is allocated or counted per text. Small numbers, as record numbers nearly always are, index an
// array directly (a table's array stays in the cache); any other number goes to a flat table (open
// addressing, openaddressing.h).

#include <QLatin1String>
#include <QStringView>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include "catalog/openaddressing.h"
#include "catalog/textpool.h"

namespace vexilo::catalog {

// A record's text as the reader returns it; `null` when tmapa and tcomplet are both Null. The view is
// over the table's pool: valid while the table lives and no text is added to it.
struct RecordText {
    QStringView texto;
    bool null = false;
};

class RecordTexts {
  public:
    RecordTexts() { m_slots.resize(openaddressing::capacityFor(0)); }

    // The text of record `number`, if the table holds that number.
    std::optional<RecordText> find(std::int32_t number) const {
        const std::uint32_t kept = keptOf(number);
        if (kept == kNone) {
            return std::nullopt;
        }
        const Place& p = m_places[kept - 1];
        if (p.length == kNull) {
            return RecordText{{}, true};
        }
        return RecordText{m_pool.view(p.offset, static_cast<std::uint32_t>(p.length)), false};
    }

    // Keeps the text (std::nullopt: Null) of the record at `order` in the table's stored order for
    // `number`, unless a record before it holds the number: a shared number reads as its first record,
    // whatever order the records come in. The characters are copied into the pool.
    void add(std::int32_t number, std::optional<QStringView> text, std::int64_t order) {
        put(number, text ? &*text : nullptr, order);
    }
    void add(std::int32_t number, QLatin1String text, std::int64_t order) { put(number, &text, order); }

    std::size_t size() const { return m_places.size(); }

    // Lets go of what only adding needs, once the table is read. A text added after still keeps a number
    // that has one already.
    void loaded() {
        m_orders = {};
        m_loaded = true;
    }

  private:
    static constexpr std::int32_t kNull = -1;  // the length of a record's text that is Null
    static constexpr std::uint32_t kNone = 0;  // no kept record: a number's place in m_dense or a slot

    struct Place {
        std::uint32_t offset = 0;  // in m_pool
        std::int32_t length = kNull;
    };
    struct Slot {
        std::int32_t number = 0;
        std::uint32_t kept = kNone;
    };

    // A text's units as the pool takes them: Latin-1 bytes widen one by one as they are copied.
    static const char16_t* unitsOf(QStringView text) { return text.utf16(); }
    static const unsigned char* unitsOf(QLatin1String text) {
        return reinterpret_cast<const unsigned char*>(text.data());
    }

    // Numbers below this index m_dense: at most a megabyte for a table, however sparse its numbers.
    static constexpr std::int32_t kDenseLimit = 1 << 18;
    static bool dense(std::int32_t number) { return number >= 0 && number < kDenseLimit; }

    // 1 + the index in m_places of the record kept for `number`, or kNone.
    std::uint32_t keptOf(std::int32_t number) const {
        if (dense(number)) {
            const auto at = static_cast<std::size_t>(number);
            return at < m_dense.size() ? m_dense[at] : kNone;
        }
        return m_slots[slotOf(number)].kept;
    }

    template <typename View>
    void put(std::int32_t number, const View* text, std::int64_t order) {
        if (const std::uint32_t kept = keptOf(number); kept != kNone) {
            if (!m_loaded && order < m_orders[kept - 1]) {
                m_places[kept - 1] = pooled(text);  // the text it replaces stays in the pool, unused
                m_orders[kept - 1] = order;
            }
            return;
        }
        m_places.push_back(pooled(text));
        if (!m_loaded) {
            m_orders.push_back(order);
        }
        const auto kept = static_cast<std::uint32_t>(m_places.size());
        if (dense(number)) {
            const auto at = static_cast<std::size_t>(number);
            if (at >= m_dense.size()) {
                // Room for the largest array at once (address space only, until written): grown by
                // doubling, every new page was zeroed and then copied, a page fault each.
                m_dense.reserve(kDenseLimit);
                m_dense.resize(std::min<std::size_t>(kDenseLimit, std::max(at + 1, m_dense.size() * 2)));
            }
            m_dense[at] = kept;
            return;
        }
        m_slots[slotOf(number)] = Slot{number, kept};
        if (openaddressing::mustGrow(++m_sparse, m_slots.size())) {
            std::vector<Slot> old(m_slots.size() * 2);
            old.swap(m_slots);
            for (const Slot& o : old) {
                if (o.kept != kNone) {
                    m_slots[slotOf(o.number)] = o;
                }
            }
        }
    }

    // The text's characters copied into the pool, and where they lie.
    template <typename View>
    Place pooled(const View* text) {
        if (text == nullptr) {
            return {};
        }
        const auto length = static_cast<std::size_t>(text->size());
        const auto* units = unitsOf(*text);
        return {m_pool.append(units, units + length), static_cast<std::int32_t>(length)};
    }

    // The slot of `number`, or the empty slot where it would go.
    std::size_t slotOf(std::int32_t number) const {
        const auto hash = static_cast<std::size_t>(openaddressing::mix(static_cast<std::uint32_t>(number)));
        return openaddressing::probe(hash, m_slots.size(), [&](std::size_t i) {
            return m_slots[i].kept == kNone || m_slots[i].number == number;
        });
    }

    // Each number's record is found through a small index into m_places (four bytes by number where a
    // place takes eight), so that the array by number, which a sparse table's numbers spread over,
    // touches half the pages.
    std::vector<std::uint32_t> m_dense;  // by number
    std::vector<Slot> m_slots;
    std::size_t m_sparse = 0;            // numbers in m_slots
    std::vector<Place> m_places;         // the kept records, as they came
    std::vector<std::int64_t> m_orders;  // by kept record: its stored order, while loading
    bool m_loaded = false;
    TextPool m_pool;
};

}  // namespace vexilo::catalog
