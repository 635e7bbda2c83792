#include "gui/interruption.h"

namespace vexilo::gui {

void Interruption::reset() {
    std::lock_guard lock(m_mutex);
    m_asking = false;
    m_end = false;
    m_pending.store(false);
}

void Interruption::beginAsking() {
    std::lock_guard lock(m_mutex);
    m_asking = true;
    m_pending.store(true);
}

void Interruption::answer(bool end) {
    {
        std::lock_guard lock(m_mutex);
        m_asking = false;
        m_end = m_end || end;
        m_pending.store(m_end);
    }
    m_answered.notify_all();
}

bool Interruption::consult() {
    if (!m_pending.load()) {
        return false;  // the check made after every element costs one atomic read
    }
    std::unique_lock lock(m_mutex);
    m_answered.wait(lock, [this] { return !m_asking; });
    return m_end;
}

bool Interruption::requested() {
    std::lock_guard lock(m_mutex);
    return m_end;
}

}  // namespace vexilo::gui
