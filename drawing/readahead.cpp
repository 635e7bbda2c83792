#include "drawing/readahead.h"

#include <utility>

namespace vexilo::drawing {

ReadAhead::ReadAhead(Read read) : m_read(std::move(read)), m_thread([this] { loop(); }) {}

ReadAhead::~ReadAhead() {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_data == nullptr; });
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void ReadAhead::start(std::uint8_t* data, std::size_t n) {
    {
        const std::lock_guard lock(m_mutex);
        m_data = data;
        m_size = n;
    }
    m_started = true;
    m_changed.notify_all();
}

std::int64_t ReadAhead::wait(QString& failure) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_data == nullptr; });
    m_started = false;
    failure = std::exchange(m_failure, QString());
    return m_got;
}

void ReadAhead::loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || m_data != nullptr; });
        if (m_data == nullptr) {
            return;  // stopped with nothing left to read
        }
        std::uint8_t* data = m_data;
        const std::size_t n = m_size;
        lock.unlock();
        QString failure;
        const std::int64_t got = m_read(data, n, failure);
        lock.lock();
        m_got = got;
        m_failure = std::move(failure);
        m_data = nullptr;
        m_changed.notify_all();
    }
}

}  // namespace vexilo::drawing
