#pragma once
// The watchdog of a job's connection to a server: a statement that waits (for a lock another program
// keeps, for a server that stops answering) cannot be interrupted from its own thread, which libpq keeps
// blocked, so a thread of the watchdog's own announces the wait and, at the job's limit, closes the
// connection's socket: the statement then fails at once, the server rolls the job's transaction back,
// and nothing is written. (Asking the server to cancel the statement would wait for ever on a server
// that does not answer.) Internal to the engine layer.

#include <libpq-fe.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/waits.h"

namespace vexilo::platform {

class PgWatchdog {
  public:
    PgWatchdog(PGconn* conn, WaitState& state);
    ~PgWatchdog();
    PgWatchdog(const PgWatchdog&) = delete;
    PgWatchdog& operator=(const PgWatchdog&) = delete;

  private:
    void watch();

    int m_socket;
    WaitState& m_state;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace vexilo::platform
