#pragma once
// A flat hash table from texts (UTF-16) to values, for the attribute index: the assignment pass looks a
// text up once or twice per text element, a million times in a large job. The slots (each the text's
// hash and its entry) are the table itself; an entry, with its text's characters right after it, takes
// its memory from the caller's arena, so that a lookup finds the value and the text together (in a large
// index each further place is a miss of its own), and an entry never moves once made. The arena is a
// monotonic one, and a Value keeps everything it owns there: the arena's release frees the entries,
// which are never destroyed one by one (that walk over every entry of a large index only touched memory
// nothing would read again).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory_resource>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "catalog/openaddressing.h"

namespace vexilo::catalog {

template <typename Value>
class TextTable {
  public:
    // `arena` outlives the table; a Value is built from a polymorphic allocator on it.
    explicit TextTable(std::pmr::monotonic_buffer_resource* arena) : m_arena(arena) {
        m_slots.resize(openaddressing::capacityFor(0));
    }

    // The value of `key`, or null.
    const Value* find(std::u16string_view key) const {
        const Slot& slot = m_slots[slotOf(key, hashOf(key))];
        return slot.entry == nullptr ? nullptr : &slot.entry->value;
    }
    Value* find(std::u16string_view key) { return const_cast<Value*>(std::as_const(*this).find(key)); }

    // The value of `key`, added (built on the arena) when missing.
    Value& findOrAdd(std::u16string_view key) {
        const std::size_t hash = hashOf(key);
        const std::size_t at = slotOf(key, hash);
        if (m_slots[at].entry != nullptr) {
            return m_slots[at].entry->value;
        }
        Entry* added = Entry::make(key, m_arena);
        m_slots[at] = Slot{added, static_cast<std::uint32_t>(hash)};
        ++m_size;
        // Three quarters full at most, where the run log's keys stay half full: a slot keeps the text's
        // hash, so a longer walk only reads more slots, four to a cache line, and the slots of a large
        // index take half the memory, which the lookups of a job then find nearer at hand.
        if (m_size * 4 > m_slots.size() * 3) {
            rehash(m_slots.size() * 2);
        }
        return added->value;
    }

    std::size_t size() const { return m_size; }

  private:
    // An entry is made in the arena with room for its key's characters right after it.
    struct Entry {
        static Entry* make(std::u16string_view key, std::pmr::memory_resource* arena) {
            void* room = arena->allocate(sizeof(Entry) + key.size() * sizeof(char16_t), alignof(Entry));
            auto* made = ::new (room) Entry(key.size(), arena);
            std::copy(key.begin(), key.end(), reinterpret_cast<char16_t*>(made + 1));
            return made;
        }
        Entry(std::size_t n, std::pmr::memory_resource* arena)
            : size(n), value(std::pmr::polymorphic_allocator<>(arena)) {}
        std::u16string_view key() const { return {reinterpret_cast<const char16_t*>(this + 1), size}; }

        std::size_t size;
        Value value;
    };
    struct Slot {
        Entry* entry = nullptr;  // null: an empty slot
        std::uint32_t hash = 0;  // the low half of the text's hash, compared before the text
    };

    static std::size_t hashOf(std::u16string_view key) { return std::hash<std::u16string_view>{}(key); }

    // The slot holding `key`, or the empty slot where it would go.
    std::size_t slotOf(std::u16string_view key, std::size_t hash) const {
        const auto low = static_cast<std::uint32_t>(hash);
        return openaddressing::probe(hash, m_slots.size(), [&](std::size_t i) {
            const Slot& s = m_slots[i];
            return s.entry == nullptr || (s.hash == low && s.entry->key() == key);
        });
    }

    // The slots only: the entries stay where they are. A slot's home comes from its kept hash, which
    // holds the low bits of the full one, so it lands where a lookup of the text will look.
    void rehash(std::size_t capacity) {
        std::vector<Slot> old(capacity);
        old.swap(m_slots);
        for (const Slot& s : old) {
            if (s.entry != nullptr) {
                const std::size_t at = openaddressing::probe(
                    s.hash, m_slots.size(), [&](std::size_t i) { return m_slots[i].entry == nullptr; });
                m_slots[at] = s;
            }
        }
    }

    std::pmr::memory_resource* m_arena;
    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
};

}  // namespace vexilo::catalog
