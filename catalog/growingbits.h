#pragma once
// A set of small whole numbers as bits, grown as larger numbers come: for the job's sets by record
// number, a few kilobytes that stay in the cache where a hash table or a tree is read at random.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vexilo::catalog {

class GrowingBits {
  public:
    bool contains(std::size_t n) const {
        const std::size_t word = n / 64;
        return word < m_words.size() && (m_words[word] >> (n % 64) & 1) != 0;
    }
    // True when `n` was not in the set.
    bool insert(std::size_t n) {
        const std::size_t word = n / 64;
        if (word >= m_words.size()) {
            m_words.resize(std::max(word + 1, m_words.size() * 2));
        }
        const std::uint64_t bit = std::uint64_t{1} << (n % 64);
        const bool added = (m_words[word] & bit) == 0;
        m_words[word] |= bit;
        return added;
    }
    void erase(std::size_t n) {
        if (n / 64 < m_words.size()) {
            m_words[n / 64] &= ~(std::uint64_t{1} << (n % 64));
        }
    }
    // The highest number of the set below `bound`, looked for a word at a time.
    std::optional<std::size_t> highestBelow(std::size_t bound) const {
        const std::size_t end = std::min(bound, m_words.size() * 64);
        if (end == 0) {
            return std::nullopt;
        }
        const std::size_t last = end - 1;
        std::size_t word = last / 64;
        std::uint64_t bits = m_words[word] & (~std::uint64_t{0} >> (63 - last % 64));
        while (bits == 0) {
            if (word == 0) {
                return std::nullopt;
            }
            bits = m_words[--word];
        }
        return word * 64 + 63 - static_cast<std::size_t>(std::countl_zero(bits));
    }

  private:
    std::vector<std::uint64_t> m_words;
};

}  // namespace vexilo::catalog
