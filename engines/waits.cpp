#include "engines/waits.h"

#include "engines/dao.h"

namespace vexilo::engines {

void WaitState::statementBegins() {
    const std::lock_guard lock(m_mutex);
    if (m_depth++ > 0) {
        return;
    }
    m_running = true;
    m_started = Clock::now();
    m_cut.store(false);
}

void WaitState::statementEnds() {
    bool announced = false;
    {
        const std::lock_guard lock(m_mutex);
        if (--m_depth > 0) {
            return;
        }
        m_running = false;
        announced = std::exchange(m_announced, false);
    }
    if (announced && m_notice.onWaitOver) {
        m_notice.onWaitOver();
    }
}

void WaitState::announce() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_announced) {
            return;
        }
        m_announced = true;
    }
    if (m_notice.onWait) {
        m_notice.onWait();
    }
}

std::chrono::milliseconds WaitState::running() const {
    const std::lock_guard lock(m_mutex);
    if (!m_running) {
        return std::chrono::milliseconds(0);
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_started);
}

void throwWaitedTooLong(const QString& shownName, std::chrono::milliseconds limit) {
    const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
    throw EngineError(errnum::kHeldByAnother,
                      QStringLiteral("La base de datos '%1' sigue ocupada por otro proceso, o su servidor no "
                                     "responde, después de esperar %2 segundos: no se ha hecho nada. Vuelva "
                                     "a intentarlo cuando el otro proceso termine.")
                          .arg(shownName, QString::number(seconds)));
}

}  // namespace vexilo::engines
