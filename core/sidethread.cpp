#include "core/sidethread.h"

#include <utility>

namespace vexilo::core {

SideThread::SideThread() : m_thread([this] { loop(); }) {}

SideThread::~SideThread() {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_pending; });
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void SideThread::start(std::function<void()> work) {
    {
        const std::lock_guard lock(m_mutex);
        m_work = std::move(work);
        m_pending = true;
    }
    m_changed.notify_all();
}

void SideThread::wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_pending; });
}

void SideThread::loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || m_pending; });
        if (!m_pending) {
            return;  // stopped with nothing left to do
        }
        std::function<void()> work = std::exchange(m_work, nullptr);
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
        m_pending = false;
        m_changed.notify_all();
    }
}

}  // namespace vexilo::core
