#include "app/outputfile.h"

#include <signal.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "platform/errors.h"

namespace vexilo::app {

namespace {

bool processRuns(qint64 pid) {
    // Signal 0 asks without signalling; a process of another user answers EPERM, and still runs.
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

void checkOutputName(const QString& outputName) {
    const QFileInfo info(outputName);
    if (!info.exists() || info.isFile()) {
        return;  // nothing there, or a file (or a link to one) that the written drawing replaces at once
    }
    const QString what =
        info.isDir() ? QStringLiteral("una carpeta") : QStringLiteral("algo que no es un fichero");
    throw platform::RunError(
        platform::errnum::kFileAccess,
        QStringLiteral("No se puede escribir el fichero de salida %1: con ese nombre hay %2. "
                       "No se ha cambiado nada.")
            .arg(QDir::toNativeSeparators(outputName), what));
}

void removeDeadPartials(const QString& outputName) {
    const QFileInfo output(outputName);
    const QRegularExpression partial(QLatin1Char('^') + QRegularExpression::escape(output.fileName()) +
                                     QStringLiteral("\\.parcial-(\\d+)$"));
    const QDir folder = output.absoluteDir();
    for (const QString& name : folder.entryList({output.fileName() + QStringLiteral(".parcial-*")},
                                                QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch m = partial.match(name);
        if (m.hasMatch() && !processRuns(m.captured(1).toLongLong())) {
            QFile::remove(folder.filePath(name));
        }
    }
}

}  // namespace vexilo::app
