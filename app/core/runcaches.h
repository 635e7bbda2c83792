#pragma once
// What one job keeps in memory beside the run state: the catalog indexes, the attribute table indexes,
// the attribute texts of the rewrite pass, the keys of the run log. The run driver creates one value
// when a job starts and drops it when the job ends, so nothing read in one job, from one database, is
// ever seen by the next; no cache checks where it came from.
//
// Each layer keeps its own cache type here without this layer knowing it: a cache is found by its type.

#include <memory>
#include <typeindex>
#include <unordered_map>
#include <utility>

namespace vexilo::app {

class RunCaches {
  public:
    // The cache of type T, made by make() (returning std::shared_ptr<T>) the first time it is asked for.
    template <typename T, typename Make>
    T& get(Make&& make) {
        std::shared_ptr<void>& slot = m_caches[std::type_index(typeid(T))];
        if (!slot) {
            slot = std::forward<Make>(make)();
        }
        return *static_cast<T*>(slot.get());
    }
    // The cache of type T when one was made in this job, else null.
    template <typename T>
    T* find() const {
        const auto it = m_caches.find(std::type_index(typeid(T)));
        return it == m_caches.end() ? nullptr : static_cast<T*>(it->second.get());
    }
    // Replaces the cache of type T (a fresh load of what it caches).
    template <typename T>
    T& put(std::shared_ptr<T> cache) {
        T& ref = *cache;
        m_caches[std::type_index(typeid(T))] = std::move(cache);
        return ref;
    }
    template <typename T>
    void drop() {
        m_caches.erase(std::type_index(typeid(T)));
    }

  private:
    // shared_ptr<void> keeps the deleter of the type it was made with.
    std::unordered_map<std::type_index, std::shared_ptr<void>> m_caches;
};

}  // namespace vexilo::app
