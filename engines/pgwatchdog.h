#pragma once
// The watchdog of a job's connection to a server. A statement that waits (for a lock another program
// keeps, for a server that stops answering) cannot be interrupted from its own thread, which libpq keeps
// blocked, so a thread of the watchdog's own looks at any statement that runs past a moment: through a
// connection of its own it asks the server whether the job's session waits for a lock, and a server that
// does not answer that question within a few seconds does not answer the job either. A statement that
// waits in either way is announced, and at the job's limit the watchdog closes the job's socket: the
// statement fails at once, the server rolls the job's transaction back, and nothing is written. A
// statement that is only working long is left alone. (Asking the server to cancel a statement would
// itself wait for ever on a server that does not answer.) Internal to the engine layer.

#include <libpq-fe.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "engines/waits.h"

namespace vexilo::engines {

class PgWatchdog {
  public:
    PgWatchdog(PGconn* conn, WaitState& state);
    ~PgWatchdog();
    PgWatchdog(const PgWatchdog&) = delete;
    PgWatchdog& operator=(const PgWatchdog&) = delete;

    // How long the server has to answer the watchdog's question before it counts as not answering.
    static constexpr std::chrono::seconds kAnswerTime{3};

  private:
    enum class Why { Working, Lock, Silent };
    enum class Answer { Given, None, Unknown };
    void watch();
    Why whyItRuns();
    // Asks the server through the watchdog's own connection: an answer, none within the answer time
    // (a silent server), or no way to know (a server that refuses the connection answers all the same).
    Answer ask(const char* sql, std::string& answer);

    std::map<std::string, std::string> m_options;  // the job's connection options, to connect alike
    int m_pid;                                     // the job's session on the server
    int m_socket;
    WaitState& m_state;
    PGconn* m_side = nullptr;  // the watchdog's own connection, opened when first needed
    std::mutex m_mutex;
    std::condition_variable m_wake;
    // Set under the mutex, and atomic as well: the thread checker does not always see the mutex taken
    // again inside the condition's timed wait.
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace vexilo::engines
