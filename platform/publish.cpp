#include "platform/publish.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/errors.h"

namespace vexilo::platform {

namespace {

[[noreturn]] void cannotPublish(const QString& finalName, int error) {
    throw RunError(errnum::kFileAccess, QStringLiteral("No se puede dar su nombre al fichero %1: %2")
                                            .arg(QDir::toNativeSeparators(finalName),
                                                 QString::fromLocal8Bit(std::strerror(error))));
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

}  // namespace

void publishFile(const QString& written, const QString& finalName) {
    if (const int error = syncPath(written, O_RDONLY)) {
        cannotPublish(finalName, error);
    }
    if (std::rename(QFile::encodeName(written).constData(), QFile::encodeName(finalName).constData()) != 0) {
        cannotPublish(finalName, errno);
    }
    // The rename lasts once the folder that holds the name is on the disk.
    if (const int error = syncPath(QFileInfo(finalName).absolutePath(), O_RDONLY | O_DIRECTORY)) {
        cannotPublish(finalName, error);
    }
}

}  // namespace vexilo::platform
