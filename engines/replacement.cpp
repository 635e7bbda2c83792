#include "engines/replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

#include "core/systemerror.h"
#include "engines/dao.h"
#include "engines/publication.h"
#include "engines/publish.h"
#include "engines/sqldatabase.h"

namespace vexilo::engines {
namespace {

// A free backup name: two replacements within one second keep both old files.
QString freeBackupName(const QString& path) {
    const QString first = backupName(path, QDateTime::currentDateTime());
    QString name = first;
    for (int n = 2; QFileInfo::exists(name); ++n) {
        name = first.chopped(4) + QStringLiteral("-%1.bak").arg(n);
    }
    return name;
}

// Copies `from` into the new file `to` (with `from`'s permissions) and puts the copy on the disk.
// Returns 0, or the system's error.
int copyToDisk(const QString& from, const QString& to) {
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return errno;
    }
    struct stat info {};
    int error = ::fstat(in, &info) == 0 ? 0 : errno;
    const int out = error != 0 ? -1
                               : ::open(QFile::encodeName(to).constData(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
    if (error == 0 && out < 0) {
        error = errno;
    }
    std::vector<char> buffer(1 << 20);
    while (error == 0) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n <= 0) {
            error = n < 0 && errno != EINTR ? errno : 0;
            if (n == 0 || error != 0) {
                break;
            }
            continue;
        }
        for (ssize_t done = 0; done < n && error == 0;) {
            const ssize_t w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno != EINTR) {
                error = errno;
            }
            done += w > 0 ? w : 0;
        }
    }
    if (error == 0 && ::fsync(out) != 0 && errno != EINVAL) {
        error = errno;
    }
    if (out >= 0 && ::close(out) != 0 && error == 0) {
        error = errno;
    }
    ::close(in);
    return error;
}

// Gives `written` the name `name` unless a file holds it already (EEXIST); a file system that cannot
// refuse so is given a plain rename. Returns 0, or the system's error.
int renameWithoutReplacing(const QString& written, const QString& name) {
    const QByteArray from = QFile::encodeName(written);
    const QByteArray to = QFile::encodeName(name);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    return std::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// The old file kept under its backup name: a copy of its own, put on the disk under a partial name and
// only then named, so that a backup is never half a file, and never a second name of the live file that
// a later job would change too. The folder goes to the disk with the new file's rename that follows.
QString keepBackup(const QString& path) {
    const auto failure = [&path](const QString& backup, int error) {
        return RunError(errnum::kFileAccess,
                        QStringLiteral("No se puede guardar una copia de %1 en %2: %3")
                            .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(backup),
                                 core::systemReason(error)));
    };
    QString backup = freeBackupName(path);
    const QString copy = partialName(backup);
    QFile::remove(copy);  // this process's own name: only a leftover of its own can hold it
    if (const int error = copyToDisk(path, copy)) {
        QFile::remove(copy);
        throw failure(backup, error);
    }
    for (int tries = 0;; ++tries) {
        const int error = renameWithoutReplacing(copy, backup);
        if (error == 0) {
            return backup;
        }
        if (error != EEXIST || tries == 100) {
            QFile::remove(copy);
            throw failure(backup, error);
        }
        backup = freeBackupName(path);  // another replacement took the name in the same second
    }
}

// The copies of `path` that replacements killed while they kept the backup left (a dead process's partial
// file under a backup's name) go; the copy of a replacement still running stays.
void removeDeadBackupCopies(const QString& path) {
    const QFileInfo file(path);
    const QDir folder = file.absoluteDir();
    const QRegularExpression copy(QLatin1Char('^') + QRegularExpression::escape(file.fileName()) +
                                  QStringLiteral("\\.\\d{8}-\\d{6}(-\\d+)?\\.bak\\.parcial-\\d+$"));
    for (const QString& name :
         folder.entryList({file.fileName() + QStringLiteral(".*.bak.parcial-*")}, QDir::Files)) {
        if (copy.match(name).hasMatch()) {
            removeDeadPartials(folder.filePath(name.left(name.lastIndexOf(QStringLiteral(".parcial-")))));
        }
    }
}

// The file system's identity of a file; {0, 0} when there is none.
std::pair<dev_t, ino_t> identityOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return {0, 0};
    }
    return {info.st_dev, info.st_ino};
}

std::function<void()> noticeOf(const std::function<void(const QString&)>& notice, const QString& name) {
    if (!notice) {
        return {};
    }
    return [notice, name] { notice(name); };
}

}  // namespace

std::unique_ptr<Database> openHeld(const QString& name, const JobWaitOptions& wait) {
    std::unique_ptr<Database> db = openDatabaseForJob(name, wait.limit, noticeOf(wait.onWait, name),
                                                      noticeOf(wait.onWaitOver, name), wait.interrupted);
    finishPublications(*db);
    return db;
}

QString backupName(const QString& path, const QDateTime& when) {
    return path + QLatin1Char('.') + when.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
           QStringLiteral(".bak");
}

NameTakenError::NameTakenError(const QString& path, const QString& backup)
    : RunError(errnum::kFileAccess,
               QStringLiteral("El fichero nuevo ya tiene el nombre %1, pero el sistema no ha confirmado que "
                              "el cambio esté guardado en el disco.")
                       .arg(QDir::toNativeSeparators(path)) +
                   (backup.isEmpty() ? QString()
                                     : QStringLiteral(" El fichero anterior se conserva como copia en %1.")
                                           .arg(QDir::toNativeSeparators(backup)))),
      m_backup(backup) {}

DatabaseReplacement::DatabaseReplacement(const QString& path, JobWaitOptions wait, PublishStep publishStep)
    : m_path(path), m_wait(std::move(wait)), m_publishStep(publishStep) {
    removeDeadBackupCopies(m_path);
    hold();
}

DatabaseReplacement::~DatabaseReplacement() {
    if (m_held) {
        try {
            m_held->Close();
        } catch (const EngineError&) {
            // Closing only lets the old file go; the engine lets it go with the connection anyway.
        }
    }
}

void DatabaseReplacement::hold() {
    if (m_held || !QFileInfo(m_path).isFile()) {
        return;
    }
    std::unique_ptr<SqlDatabase> db;
    try {
        db = openDatabaseForJob(m_path, m_wait.limit, noticeOf(m_wait.onWait, m_path),
                                noticeOf(m_wait.onWaitOver, m_path), m_wait.interrupted);
    } catch (const EngineError& e) {
        if (e.number() == errnum::kNotADatabase || e.number() == errnum::kDatabaseNotFound) {
            return;
        }
        throw;
    }
    // What a log written ahead still keeps goes into the file itself, so that the backup is whole and
    // the new file never finds the old one's log beside it.
    db->leaveWriteAheadLog();
    m_held = std::move(db);
}

QString DatabaseReplacement::publish(const QString& written) {
    hold();
    const QString backup = QFileInfo::exists(m_path) ? keepBackup(m_path) : QString();
    const auto newFile = identityOf(written);
    try {
        m_publishStep(written, m_path);
    } catch (const RunError&) {
        // Once the new file has the name, the backup is the only copy of the old one: it stays, and the
        // error says so. Before that, the name still holds the old file, and the backup is only a copy.
        if (newFile != std::pair<dev_t, ino_t>{0, 0} && identityOf(m_path) == newFile) {
            letGo();
            throw NameTakenError(m_path, backup);
        }
        if (!backup.isEmpty()) {
            QFile::remove(backup);
        }
        throw;
    }
    letGo();
    return backup;
}

void DatabaseReplacement::letGo() noexcept {
    if (m_held) {
        try {
            m_held->Close();
        } catch (const EngineError&) {
            // The old file has lost its name; the engine lets it go with the connection anyway.
        }
        m_held.reset();
    }
}

}  // namespace vexilo::engines
