#include "engines/replacement.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

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

// The old file under its backup name too: a second name of the same file, or a copy where the file
// system has no second names.
QString keepBackup(const QString& path) {
    const QString backup = freeBackupName(path);
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(backup).constData()) == 0) {
        return backup;
    }
    const int linkError = errno;
    if (QFile::copy(path, backup)) {
        return backup;
    }
    QFile::remove(backup);
    throw RunError(errnum::kFileAccess,
                   QStringLiteral("No se puede guardar una copia de %1 en %2: %3")
                       .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(backup),
                            QString::fromLocal8Bit(std::strerror(linkError))));
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

DatabaseReplacement::DatabaseReplacement(const QString& path, JobWaitOptions wait)
    : m_path(path), m_wait(std::move(wait)) {
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
                                noticeOf(m_wait.onWaitOver, m_path));
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
    try {
        publishFile(written, m_path);
    } catch (...) {
        if (!backup.isEmpty()) {
            QFile::remove(backup);
        }
        throw;
    }
    if (m_held) {
        m_held->Close();
        m_held.reset();
    }
    return backup;
}

}  // namespace vexilo::engines
