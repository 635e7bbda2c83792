#include "engines/publish.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "core/systemerror.h"
#include "engines/errors.h"

namespace vexilo::engines {

namespace {

[[noreturn]] void cannotPublish(const QString& finalName, int error) {
    throw RunError(errnum::kFileAccess,
                   QStringLiteral("No se puede dar su nombre al fichero %1: %2")
                       .arg(QDir::toNativeSeparators(finalName), core::systemReason(error)));
}

// fsync of a file or folder by its path; a file system that cannot sync (EINVAL) holds nothing to wait for.
int syncPath(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int rc = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return rc;
}

bool processRuns(qint64 pid) {
    // Signal 0 asks without signalling; a process of another user answers EPERM, and still runs.
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

NameNotOnDisk::NameNotOnDisk(const QString& finalName, const QString& reason)
    : RunError(errnum::kFileAccess, QStringLiteral("El fichero %1 tiene su nombre, pero no se ha podido "
                                                   "asegurar en el disco: %2")
                                        .arg(QDir::toNativeSeparators(finalName), reason)),
      m_reason(reason) {}

QString partialName(const QString& finalName) {
    return finalName + QStringLiteral(".parcial-%1").arg(QCoreApplication::applicationPid());
}

void removeDeadPartials(const QString& finalName, const std::vector<QString>& recorded) {
    const QFileInfo output(finalName);
    const QRegularExpression partial(QLatin1Char('^') + QRegularExpression::escape(output.fileName()) +
                                     QStringLiteral("\\.parcial-(\\d+)(-journal|-wal|-shm)?$"));
    const QDir folder = output.absoluteDir();
    for (const QString& name : folder.entryList({output.fileName() + QStringLiteral(".parcial-*")},
                                                QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch m = partial.match(name);
        const QString path = folder.filePath(name);
        const QString file = m.captured(2).isEmpty() ? path : path.chopped(m.captured(2).size());
        const bool kept = std::find(recorded.begin(), recorded.end(), file) != recorded.end();
        if (m.hasMatch() && !kept && !processRuns(m.captured(1).toLongLong())) {
            QFile::remove(path);
        }
    }
}

void publishFile(const QString& written, const QString& finalName) {
    if (const int error = syncPath(written, O_RDONLY)) {
        cannotPublish(finalName, error);
    }
    if (std::rename(QFile::encodeName(written).constData(), QFile::encodeName(finalName).constData()) != 0) {
        cannotPublish(finalName, errno);
    }
    // The rename lasts once the folder that holds the name is on the disk.
    if (const int error = syncPath(QFileInfo(finalName).absolutePath(), O_RDONLY | O_DIRECTORY)) {
        throw NameNotOnDisk(finalName, core::systemReason(error));
    }
}

}  // namespace vexilo::engines
