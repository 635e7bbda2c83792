#pragma once
// What one job keeps in memory beside the run state: the catalog indexes, the attribute table indexes,
// the attribute texts of the rewrite pass, the keys of the run log. The run driver creates one value
// when a job starts and drops it when the job ends, so nothing read in one job, from one database, is
// ever seen by the next; no cache checks where it came from.
//
// Each layer keeps its own cache type here without this layer knowing it: a cache is found by its type.
// A job holds a handful of caches and asks for one several times per text element, so they sit in a
// short list searched in order: cheaper than hashing the type's name on every call.

#include <algorithm>
#include <memory>
#include <typeindex>
#include <utility>
#include <vector>

namespace vexilo::core {

class RunCaches {
  public:
    // The cache of type T, made by make() (returning std::shared_ptr<T>) the first time it is asked for.
    template <typename T, typename Make>
    T& get(Make&& make) {
        std::shared_ptr<void>& slot = slotOf(typeid(T));
        if (!slot) {
            slot = std::forward<Make>(make)();
        }
        return *static_cast<T*>(slot.get());
    }
    // The cache of type T when one was made in this job, else null.
    template <typename T>
    T* find() const {
        const auto it = position(typeid(T));
        return it == m_caches.end() ? nullptr : static_cast<T*>(it->second.get());
    }
    // Replaces the cache of type T (a fresh load of what it caches).
    template <typename T>
    T& put(std::shared_ptr<T> cache) {
        T& ref = *cache;
        slotOf(typeid(T)) = std::move(cache);
        return ref;
    }
    template <typename T>
    void drop() {
        const auto it = position(typeid(T));
        if (it != m_caches.end()) {
            m_caches.erase(it);
        }
    }

  private:
    using Entry = std::pair<std::type_index, std::shared_ptr<void>>;  // keeps the deleter of its type

    std::vector<Entry>::const_iterator position(std::type_index type) const {
        return std::find_if(m_caches.begin(), m_caches.end(),
                            [&](const Entry& e) { return e.first == type; });
    }
    std::shared_ptr<void>& slotOf(std::type_index type) {
        for (Entry& e : m_caches) {
            if (e.first == type) {
                return e.second;
            }
        }
        return m_caches.emplace_back(type, nullptr).second;
    }

    std::vector<Entry> m_caches;
};

}  // namespace vexilo::core
