#pragma once
// A database file that a writer replaces as a whole (an import into it, the sample written over it). The
// writer takes the old file the way a job does (jobhold.h): it waits for a job that runs on it, with the
// job's notice and limit, and keeps it until the new file has its name, so that no job ever writes into a
// file that is being replaced, and a job that was waiting for the old file runs on the new one. The old
// file is kept beside the new one as "<name>.AAAAMMDD-HHMMSS.bak" (a copy of its own, on the disk before
// it takes that name), and the new file takes the name in one step (publish.h).

#include <QDateTime>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

#include "engines/errors.h"
#include "engines/jobwaitlimit.h"
#include "engines/publish.h"

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

// The new file has taken the name, but a step after the rename failed (the folder could not be put on the
// disk): the old file is kept as the backup, which the message names.
class NameTakenError : public RunError {
  public:
    NameTakenError(const QString& path, const QString& backup);
    const QString& backup() const { return m_backup; }

  private:
    QString m_backup;
};

class DatabaseReplacement {
  public:
    // How the new file takes the name: publishFile, or in a test a step that fails where it is told to.
    using PublishStep = void (*)(const QString& written, const QString& finalName);

    // Removes the backup copies that replacements of `path` killed halfway left, then holds the database
    // file `path` when it is one now. Past the wait's limit, EngineError
    // kHeldByAnother, with nothing done; when the wait's `interrupted` answers true, Interrupted; a file
    // that is no database is not held (no job can run on it).
    DatabaseReplacement(const QString& path, JobWaitOptions wait, PublishStep publishStep = publishFile);
    ~DatabaseReplacement();  // lets the old file go
    DatabaseReplacement(const DatabaseReplacement&) = delete;
    DatabaseReplacement& operator=(const DatabaseReplacement&) = delete;

    // Gives `written` the name, the old file (held, also when it appeared after the constructor) first
    // kept as its backup. Returns the backup's path, empty when the name held nothing. A failure before
    // the rename is a RunError; the name then holds the old file, no backup is left, and `written` stays
    // for the caller. A failure after it is a NameTakenError: the name holds the new file and the backup
    // stays, the only copy of the old one.
    QString publish(const QString& written);

  private:
    void hold();
    void letGo() noexcept;

    QString m_path;
    JobWaitOptions m_wait;
    PublishStep m_publishStep;
    std::unique_ptr<Database> m_held;
};

// The backup's name of `path` at `when`: "<path>.AAAAMMDD-HHMMSS.bak".
QString backupName(const QString& path, const QDateTime& when);

}  // namespace vexilo::engines
