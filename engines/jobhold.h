#pragma once
// The wait of a job for a database that another process's job holds: one limit and one notice for
// the whole wait, however many times the database is tried. Internal to the engine layer.

#include <QString>
#include <chrono>
#include <functional>

namespace vexilo::engines {

class JobWait {
  public:
    // `name` is the database as the user gave it; messages show it without a password. `interrupted`,
    // when given, is asked before every pause whether the job must end.
    JobWait(const QString& name, std::chrono::milliseconds limit, std::function<void()> onWait,
            std::function<bool()> interrupted = {});

    // After a try that found the database held: tells the caller's onWait the first time, then sleeps
    // a little before the next try. Throws Interrupted when asked to end, kHeldByAnother once the
    // limit has passed.
    void pause();
    bool waited() const { return m_waited; }
    std::chrono::milliseconds remaining() const;

  private:
    using Clock = std::chrono::steady_clock;

    QString m_name;
    std::chrono::milliseconds m_limit;
    Clock::time_point m_deadline;
    std::function<void()> m_onWait;
    std::function<bool()> m_interrupted;
    bool m_waited = false;
};

}  // namespace vexilo::engines
