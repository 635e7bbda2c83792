#include "platform/pgwatchdog.h"

#include <sys/socket.h>

namespace vexilo::platform {

namespace {

constexpr std::chrono::milliseconds kTick{100};

}  // namespace

PgWatchdog::PgWatchdog(PGconn* conn, WaitState& state)
    : m_socket(PQsocket(conn)), m_state(state), m_thread([this] { watch(); }) {}

PgWatchdog::~PgWatchdog() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void PgWatchdog::watch() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, kTick, [this] { return m_stop; })) {
        const std::chrono::milliseconds running = m_state.running();
        if (running >= WaitState::kNoticeAfter) {
            m_state.announce();
        }
        if (running >= m_state.notice().limit && !m_state.cutShort()) {
            m_state.markCut();
            ::shutdown(m_socket, SHUT_RDWR);
        }
    }
}

}  // namespace vexilo::platform
