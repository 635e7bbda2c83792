#pragma once
// The texts of one attribute table by record number, for the text rewrite: a flat table of numbers
// (open addressing, openaddressing.h) whose slots say where each text lies in one pool of UTF-16. The
// rewrite looks a number up for every linked text element, hundreds of thousands of times: a lookup
// reads one slot and the text's own characters, and nothing is allocated or counted per text.

#include <QLatin1String>
#include <QStringView>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include "catalog/openaddressing.h"

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
        const Slot& s = m_slots[slotOf(number)];
        if (s.length == kEmpty) {
            return std::nullopt;
        }
        if (s.length == kNull) {
            return RecordText{{}, true};
        }
        return RecordText{QStringView(m_pool.data() + s.offset, s.length), false};
    }

    // Keeps the text (std::nullopt: Null) for `number` unless the number has one already (the first
    // record of a number wins). The characters are copied into the pool.
    void add(std::int32_t number, std::optional<QStringView> text) { put(number, text ? &*text : nullptr); }
    void add(std::int32_t number, QLatin1String text) { put(number, &text); }

    std::size_t size() const { return m_size; }

  private:
    static constexpr std::int32_t kEmpty = -2;  // a slot no number took
    static constexpr std::int32_t kNull = -1;   // a record whose text is Null

    struct Slot {
        std::int32_t number = 0;
        std::uint32_t offset = 0;  // in m_pool
        std::int32_t length = kEmpty;
    };

    static QChar widened(QChar c) { return c; }
    static QChar widened(char c) { return QLatin1Char(c); }

    template <typename View>
    void put(std::int32_t number, const View* text) {
        const std::size_t at = slotOf(number);
        if (m_slots[at].length != kEmpty) {
            return;
        }
        const std::size_t length = text != nullptr ? static_cast<std::size_t>(text->size()) : 0;
        if (m_pool.size() + length > std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("attribute texts beyond 4 G characters");  // far beyond any memory
        }
        Slot s{number, static_cast<std::uint32_t>(m_pool.size()), kNull};
        if (text != nullptr) {
            s.length = static_cast<std::int32_t>(length);
            m_pool.resize(m_pool.size() + length);
            QChar* out = m_pool.data() + s.offset;
            for (const auto c : *text) {
                *out++ = widened(c);
            }
        }
        m_slots[at] = s;
        ++m_size;
        if (openaddressing::mustGrow(m_size, m_slots.size())) {
            std::vector<Slot> old(m_slots.size() * 2);
            old.swap(m_slots);
            for (const Slot& o : old) {
                if (o.length != kEmpty) {
                    m_slots[slotOf(o.number)] = o;
                }
            }
        }
    }

    // The slot of `number`, or the empty slot where it would go.
    std::size_t slotOf(std::int32_t number) const {
        const auto hash = static_cast<std::size_t>(openaddressing::mix(static_cast<std::uint32_t>(number)));
        return openaddressing::probe(hash, m_slots.size(), [&](std::size_t i) {
            return m_slots[i].length == kEmpty || m_slots[i].number == number;
        });
    }

    std::vector<Slot> m_slots;
    std::vector<QChar> m_pool;
    std::size_t m_size = 0;
};

}  // namespace vexilo::catalog
