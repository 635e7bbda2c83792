// Holding a database for one job, on any engine: the retries and the limit. What "held" means is the
// dialect's (SqlDialect::tryHoldForJob).

#include "engines/jobhold.h"

#include <sys/stat.h>

#include <QFile>
#include <algorithm>
#include <optional>
#include <thread>

#include "engines/connection.h"
#include "engines/dao.h"
#include "engines/databasename.h"
#include "engines/dialect.h"
#include "engines/engines.h"
#include "engines/sqldatabase.h"

namespace vexilo::engines {

namespace {

// Between two tries: short enough that the next job starts soon after the first ends.
constexpr std::chrono::milliseconds kRetryPause{100};

// While a job opens its database, a read that meets another job's lock fails at once instead of
// waiting the engine's usual busy time: the wait is the job's own, with its notice and its limit.
class NoBusyWait {
  public:
    NoBusyWait() : m_usual(DBEngine::instance().busyTimeoutMs()) { DBEngine::instance().setBusyTimeoutMs(0); }
    ~NoBusyWait() { DBEngine::instance().setBusyTimeoutMs(m_usual); }
    NoBusyWait(const NoBusyWait&) = delete;
    NoBusyWait& operator=(const NoBusyWait&) = delete;

  private:
    int m_usual;
};

// An engine whose reads need a lock of their own refuses the very opening while another job holds the
// database; its dialect says so.
bool openRefusedByHolder(const QString& name, const EngineError& error) {
    return engineFor(name).dialect().isHeldElsewhere(error);
}

// What a file's name leads to: its device and inode, or nothing for a server database or a missing file.
using FileIdentity = std::optional<std::pair<dev_t, ino_t>>;

FileIdentity identityOf(const QString& name) {
    struct stat st {};
    if (isServerDatabase(name) || ::stat(QFile::encodeName(name).constData(), &st) != 0) {
        return std::nullopt;
    }
    return std::make_pair(st.st_dev, st.st_ino);
}

}  // namespace

JobWait::JobWait(const QString& name, std::chrono::milliseconds limit, std::function<void()> onWait,
                 std::function<bool()> interrupted)
    : m_name(name),
      m_limit(std::max(limit, std::chrono::milliseconds(0))),
      m_deadline(Clock::now() + m_limit),
      m_onWait(std::move(onWait)),
      m_interrupted(std::move(interrupted)) {}

std::chrono::milliseconds JobWait::remaining() const {
    // Rounded up: a truncated fraction would end the wait before its limit.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_deadline - Clock::now());
    return std::max(left, std::chrono::milliseconds(0));
}

void JobWait::pause() {
    if (!m_waited) {
        m_waited = true;
        if (m_onWait) {
            m_onWait();
        }
    }
    if (m_interrupted && m_interrupted()) {
        throw Interrupted();
    }
    const std::chrono::milliseconds left = remaining();
    if (left.count() == 0) {
        const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(m_limit).count();
        throwEngineError(errnum::kHeldByAnother,
                         QStringLiteral("La base de datos '%1' sigue en uso por otro proceso después de "
                                        "esperar %2 segundos: no se ha hecho nada. Vuelva a intentarlo "
                                        "cuando el otro proceso termine.")
                             .arg(shownDatabaseName(m_name), QString::number(seconds)));
    }
    std::this_thread::sleep_for(std::min(left, kRetryPause));
}

bool SqlDialect::tryHoldForJob(Connection& c) const {
    throwEngineError(
        errnum::kHoldNotSupported,
        QStringLiteral("El motor de la base de datos '%1' no permite reservarla para un proceso.")
            .arg(shownDatabaseName(c.path())));
}

void SqlDatabase::HoldForJob(std::chrono::milliseconds limit, const std::function<void()>& onWait) {
    JobWait wait(path(), limit, onWait);
    holdForJob(wait);
}

void SqlDatabase::holdForJob(JobWait& wait) {
    m_connection->requireOpen();
    while (!m_connection->dialect().tryHoldForJob(*m_connection)) {
        wait.pause();
    }
}

std::unique_ptr<SqlDatabase> openDatabaseForJob(const QString& name, std::chrono::milliseconds limit,
                                                const std::function<void()>& onWait,
                                                const std::function<void()>& onWaitOver,
                                                const std::function<bool()>& interrupted) {
    JobWait wait(name, limit, onWait, interrupted);
    for (;;) {
        std::unique_ptr<SqlDatabase> db;
        const FileIdentity opened = identityOf(name);
        try {
            NoBusyWait noBusyWait;
            db = openDatabase(name);
        } catch (const EngineError& e) {
            if (!openRefusedByHolder(name, e)) {
                throw;
            }
            wait.pause();
            continue;
        }
        // The rest of the same wait: one limit for both, and the notice at most once.
        db->holdForJob(wait);
        if (identityOf(name) != opened) {
            // A writer replaced the file while this one waited for it: the job runs on what the name
            // holds now, never on the file that was replaced.
            db->Close();
            continue;
        }
        if (wait.waited() && onWaitOver) {
            onWaitOver();
        }
        db->limitWaits({limit, onWait, onWaitOver});
        return db;
    }
}

}  // namespace vexilo::engines
