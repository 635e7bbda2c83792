#pragma once
// A database file that a writer replaces as a whole (an import into it, the sample written over it). The
// writer takes the old file the way a job does (jobhold.h): it waits for a job that runs on it, with the
// job's notice and limit, and keeps it until the new file has its name, so that no job ever writes into a
// file that is being replaced, and a job that was waiting for the old file runs on the new one. The old
// file is kept beside the new one as "<name>.AAAAMMDD-HHMMSS.bak" (a second name of the same file where
// the file system allows, else a copy), and the new file takes the name in one step (publish.h).

#include <QDateTime>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

#include "engines/jobwaitlimit.h"

namespace vexilo::engines {

class Database;

// How a program that copies or replaces a whole database waits for a job that holds it: as a job waits
// for another job (OpenDatabaseForJob), within `limit`.
struct JobWaitOptions {
    std::chrono::milliseconds limit = kJobWaitLimit;
    // Once, when a wait for the database (named as the caller gave it) begins, and when it ends.
    std::function<void(const QString& database)> onWait;
    std::function<void(const QString& database)> onWaitOver;
    // Asked between two tries of the wait whether to give up (Interrupted, nothing written).
    std::function<bool()> interrupted;
};

// OpenDatabaseForJob within the options' limit, its notices naming `name`; then finishes what a job
// killed after its commit left to publish (engines/publication.h), before anyone reads the database.
std::unique_ptr<Database> openHeld(const QString& name, const JobWaitOptions& wait);

class DatabaseReplacement {
  public:
    // Holds the database file `path` when it is one now. Past the wait's limit, EngineError
    // kHeldByAnother, with nothing done; a file that is no database is not held (no job can run on it).
    DatabaseReplacement(const QString& path, JobWaitOptions wait);
    ~DatabaseReplacement();  // lets the old file go
    DatabaseReplacement(const DatabaseReplacement&) = delete;
    DatabaseReplacement& operator=(const DatabaseReplacement&) = delete;

    // Gives `written` the name, the old file (held, also when it appeared after the constructor) first
    // kept as its backup. Returns the backup's path, empty when the name held nothing. A failure is a
    // RunError; the name then holds the old file, no backup is left, and `written` stays for the caller.
    QString publish(const QString& written);

  private:
    void hold();

    QString m_path;
    JobWaitOptions m_wait;
    std::unique_ptr<Database> m_held;
};

// The backup's name of `path` at `when`: "<path>.AAAAMMDD-HHMMSS.bak".
QString backupName(const QString& path, const QDateTime& when);

}  // namespace vexilo::engines
