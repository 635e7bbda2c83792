#pragma once
// A flat hash table from texts (UTF-16) to values, for the attribute index: the assignment pass looks a
// text up once or twice per text element, a million times in a large job. The texts and the values
// take their memory from the caller's arena; the table itself is the slots (each the text's hash, its
// entry and where the entry keeps its characters) and the entries in the order they were added, in
// blocks that never move: an index of 20,000 texts grows without carrying its entries over to a larger
// array each time. The arena is a monotonic one, and a Value keeps everything it owns there: the
// arena's release frees the entries, which are never destroyed one by one (that walk over every entry
// of a large index only touched memory nothing would read again).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <memory_resource>
#include <new>
#include <string>
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
        const std::size_t hash = hashOf(key);
        const Slot& slot = m_slots[slotOf(key, hash)];
        return slot.entry == 0 ? nullptr : &m_entries[slot.entry - 1].value;
    }
    Value* find(std::u16string_view key) { return const_cast<Value*>(std::as_const(*this).find(key)); }

    // The value of `key`, added (built on the arena) when missing.
    Value& findOrAdd(std::u16string_view key) {
        const std::size_t hash = hashOf(key);
        const std::size_t at = slotOf(key, hash);
        if (m_slots[at].entry != 0) {
            return m_entries[m_slots[at].entry - 1].value;
        }
        Entry& added = m_entries.add(key, m_arena);
        m_slots[at] =
            Slot{added.chars, static_cast<std::uint32_t>(hash), static_cast<std::uint32_t>(m_entries.size())};
        // Three quarters full at most, where the run log's keys stay half full: a slot keeps the text's
        // hash, so a longer walk only reads more slots, four to a cache line, and the slots of a large
        // index take half the memory, which the lookups of a job then find nearer at hand.
        if (m_entries.size() * 4 > m_slots.size() * 3) {
            rehash(m_slots.size() * 2);
        }
        return added.value;
    }

    std::size_t size() const { return m_entries.size(); }

  private:
    // A slot knows where its entry's characters are (they never move: an entry's key is never changed,
    // and the entry itself stays where it was made), so that a lookup reads the entry and the text at
    // once instead of one after the other: each is a miss of its own in a large index.
    struct Slot {
        const char16_t* chars = nullptr;
        std::uint32_t hash = 0;   // the low half of the text's hash, compared before the text
        std::uint32_t entry = 0;  // index in m_entries plus one; 0: an empty slot
    };
    struct Entry {
        // The key's characters are copied into the arena, without a string object of their own.
        Entry(std::u16string_view k, std::pmr::memory_resource* arena)
            : chars(copied(k, arena)), size(k.size()), value(std::pmr::polymorphic_allocator<>(arena)) {}
        static const char16_t* copied(std::u16string_view k, std::pmr::memory_resource* arena) {
            if (k.empty()) {
                return u"";
            }
            auto* chars =
                static_cast<char16_t*>(arena->allocate(k.size() * sizeof(char16_t), alignof(char16_t)));
            std::copy(k.begin(), k.end(), chars);
            return chars;
        }
        const char16_t* chars;
        std::size_t size;
        Value value;
    };

    // Entries in blocks of a fixed count, each made once and never moved.
    class Entries {
      public:
        Entries() = default;
        Entries(const Entries&) = delete;
        Entries& operator=(const Entries&) = delete;
        ~Entries() = default;  // the entries' own memory is the arena's (see above)
        Entry& operator[](std::size_t i) {
            return *std::launder(reinterpret_cast<Entry*>(&m_blocks[i / kBlock][i % kBlock]));
        }
        const Entry& operator[](std::size_t i) const {
            return *std::launder(reinterpret_cast<const Entry*>(&m_blocks[i / kBlock][i % kBlock]));
        }
        template <typename... Args>
        Entry& add(Args&&... args) {
            if (m_size == m_blocks.size() * kBlock) {
                // Raw room, not zeroed: each entry is built in place when added.
                m_blocks.push_back(std::make_unique_for_overwrite<Room[]>(kBlock));
            }
            Entry* made =
                ::new (&m_blocks[m_size / kBlock][m_size % kBlock]) Entry(std::forward<Args>(args)...);
            ++m_size;
            return *made;
        }
        std::size_t size() const { return m_size; }

      private:
        static constexpr std::size_t kBlock = 1024;
        struct Room {
            alignas(Entry) std::byte bytes[sizeof(Entry)];
        };
        std::vector<std::unique_ptr<Room[]>> m_blocks;
        std::size_t m_size = 0;
    };

    static std::size_t hashOf(std::u16string_view key) { return std::hash<std::u16string_view>{}(key); }

    // The slot holding `key`, or the empty slot where it would go.
    std::size_t slotOf(std::u16string_view key, std::size_t hash) const {
        const auto low = static_cast<std::uint32_t>(hash);
        return openaddressing::probe(hash, m_slots.size(), [&](std::size_t i) {
            const Slot& s = m_slots[i];
            return s.entry == 0 || (s.hash == low && m_entries[s.entry - 1].size == key.size() &&
                                    std::u16string_view(s.chars, key.size()) == key);
        });
    }

    // The slots only: the entries stay where they are. A slot's home comes from its kept hash, which
    // holds the low bits of the full one, so it lands where a lookup of the text will look.
    void rehash(std::size_t capacity) {
        std::vector<Slot> old(capacity);
        old.swap(m_slots);
        for (const Slot& s : old) {
            if (s.entry != 0) {
                const std::size_t at = openaddressing::probe(
                    s.hash, m_slots.size(), [&](std::size_t i) { return m_slots[i].entry == 0; });
                m_slots[at] = s;
            }
        }
    }

    std::pmr::memory_resource* m_arena;
    std::vector<Slot> m_slots;
    Entries m_entries;
};

}  // namespace vexilo::catalog
