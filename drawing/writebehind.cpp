#include "drawing/writebehind.h"

#include <utility>

namespace vexilo::drawing {

WriteBehind::WriteBehind(Write write) : m_write(std::move(write)), m_thread([this] { loop(); }) {}

WriteBehind::~WriteBehind() {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_data == nullptr; });
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void WriteBehind::start(const std::uint8_t* data, std::size_t n, std::int64_t at) {
    {
        const std::lock_guard lock(m_mutex);
        m_data = data;
        m_size = n;
        m_at = at;
    }
    m_changed.notify_all();
}

QString WriteBehind::wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_data == nullptr; });
    return std::exchange(m_failure, QString());
}

void WriteBehind::loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || m_data != nullptr; });
        if (m_data == nullptr) {
            return;  // stopped with nothing left to write
        }
        const std::uint8_t* data = m_data;
        const std::size_t n = m_size;
        const std::int64_t at = m_at;
        lock.unlock();
        QString failure = m_write(data, n, at);
        lock.lock();
        m_failure = std::move(failure);
        m_data = nullptr;
        m_changed.notify_all();
    }
}

}  // namespace vexilo::drawing
