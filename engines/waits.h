#pragma once
// Every wait of a job's connection, whatever it waits for (another job's hold, a lock that another
// program keeps on a table, a server that stops answering), is announced and ends at the job's limit.
// Internal to the engine layer.
//
// A connection whose waits are limited keeps one WaitState. Each statement runs inside a
// WatchedStatement; the engine's own way of waiting reports to the state (SQLite's busy handler, on the
// statement's thread; the server engine's watchdog, on a thread of its own), which calls onWait once a
// statement has waited a moment, onWaitOver when it ends, and cuts the statement once it has waited the
// limit. A statement cut short fails with the wait's own message, not the engine's.

#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

namespace vexilo::engines {

// What a waiting job says, and when it gives up.
struct WaitNotice {
    std::chrono::milliseconds limit{0};
    // Called when a wait begins and when it is over. onWait may come from another thread than the
    // statement's (a watchdog's): whatever it shows must be safe to call from there.
    std::function<void()> onWait;
    std::function<void()> onWaitOver;
};

class WaitState {
  public:
    using Clock = std::chrono::steady_clock;
    // How long a statement runs before its wait is announced.
    static constexpr std::chrono::milliseconds kNoticeAfter{1000};

    explicit WaitState(WaitNotice notice) : m_notice(std::move(notice)) {}

    const WaitNotice& notice() const { return m_notice; }

    // Around each statement. A statement within another (the answer to an earlier write read before a
    // statement is sent) is part of it: the span is the outer one's.
    void statementBegins();
    void statementEnds();

    // The engine reports that the running statement waits: the wait is announced (once per statement).
    void announce();
    // How long the running statement has run; zero when none runs.
    std::chrono::milliseconds running() const;
    // The statement ran into the limit and was cut (by the engine giving up or by the watchdog).
    bool cutShort() const { return m_cut.load(); }
    void markCut() { m_cut.store(true); }

  private:
    WaitNotice m_notice;
    mutable std::mutex m_mutex;  // the watchdog reads what the statement's thread writes
    bool m_running = false;
    int m_depth = 0;
    Clock::time_point m_started{};
    bool m_announced = false;
    std::atomic<bool> m_cut{false};
};

// A statement's span, for a connection that may have no WaitState (then it does nothing).
class WatchedStatement {
  public:
    explicit WatchedStatement(WaitState* state) : m_state(state) {
        if (m_state) {
            m_state->statementBegins();
        }
    }
    ~WatchedStatement() {
        if (m_state) {
            m_state->statementEnds();
        }
    }
    WatchedStatement(const WatchedStatement&) = delete;
    WatchedStatement& operator=(const WatchedStatement&) = delete;

  private:
    WaitState* m_state;
};

// The message of a statement cut at the limit: nothing was changed.
[[noreturn]] void throwWaitedTooLong(const QString& shownName, std::chrono::milliseconds limit);

}  // namespace vexilo::engines
