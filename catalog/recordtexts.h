#pragma once
// The texts of one attribute table by record number, for the text rewrite: a flat table of numbers
// (open addressing, openaddressing.h) pointing into one array of texts. The rewrite looks a number up
// for every linked text element, hundreds of thousands of times, and a map of nodes spent that time
// waiting for memory.

#include <QString>
#include <cstdint>
#include <vector>

#include "catalog/openaddressing.h"

namespace vexilo::catalog {

// A record's text as the reader returns it; `null` when tmapa and tcomplet are both Null.
struct RecordText {
    QString texto;
    bool null = false;
};

class RecordTexts {
  public:
    RecordTexts() { m_slots.resize(openaddressing::capacityFor(0)); }

    // The text of record `number`, or null.
    const RecordText* find(std::int32_t number) const {
        const Slot& s = m_slots[slotOf(number)];
        return s.entry == 0 ? nullptr : &m_texts[s.entry - 1];
    }

    // Keeps `text` for `number` unless the number has one already (the first record of a number wins).
    void add(std::int32_t number, RecordText text) {
        const std::size_t at = slotOf(number);
        if (m_slots[at].entry != 0) {
            return;
        }
        m_texts.push_back(std::move(text));
        m_slots[at] = Slot{number, static_cast<std::uint32_t>(m_texts.size())};
        if (openaddressing::mustGrow(m_texts.size(), m_slots.size())) {
            std::vector<Slot> old(m_slots.size() * 2);
            old.swap(m_slots);
            for (const Slot& s : old) {
                if (s.entry != 0) {
                    m_slots[slotOf(s.number)] = s;
                }
            }
        }
    }

    std::size_t size() const { return m_texts.size(); }

  private:
    struct Slot {
        std::int32_t number = 0;
        std::uint32_t entry = 0;  // index in m_texts plus one; 0: an empty slot
    };

    // The slot of `number`, or the empty slot where it would go.
    std::size_t slotOf(std::int32_t number) const {
        const auto hash = static_cast<std::size_t>(openaddressing::mix(static_cast<std::uint32_t>(number)));
        return openaddressing::probe(hash, m_slots.size(), [&](std::size_t i) {
            return m_slots[i].entry == 0 || m_slots[i].number == number;
        });
    }

    std::vector<Slot> m_slots;
    std::vector<RecordText> m_texts;
};

}  // namespace vexilo::catalog
