#pragma once
// Answers kept by the identity of the text asked. A job asks about the same few names (tables, files)
// hundreds of thousands of times, each time through a copy of one shared QString: such a text is known
// by where its characters live, without hashing or comparing them. A copy of each text is held, so its
// characters stay where they are and, being shared, cannot change. Texts without shared data of their
// own (literals, raw data) are never remembered.

#include <QString>
#include <cstddef>
#include <utility>
#include <vector>

namespace vexilo::core {

template <typename T>
class ByTextIdentity {
  public:
    // A job names a few dozen tables at most; past this many, texts are simply not remembered.
    static constexpr std::size_t kCapacity = 64;

    const T* find(const QString& s) const {
        const QChar* at = s.constData();
        for (const auto& [text, value] : m_entries) {
            if (text.constData() == at && text.size() == s.size()) {
                return &value;
            }
        }
        return nullptr;
    }

    void remember(const QString& s, T value) {
        if (m_entries.size() < kCapacity && const_cast<QString&>(s).data_ptr().d_ptr() != nullptr) {
            m_entries.emplace_back(s, std::move(value));
        }
    }

    void clear() { m_entries.clear(); }

  private:
    std::vector<std::pair<QString, T>> m_entries;
};

}  // namespace vexilo::core
