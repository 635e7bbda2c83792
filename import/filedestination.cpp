#include "import/filedestination.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/errors.h"
#include "engines/publish.h"
#include "import/accessimport.h"

namespace vexilo::importer {
namespace {

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

QString temporaryPath(const QString& destination) {
    // This process's own: another import into the same name meanwhile never writes into it.
    return engines::partialName(destination);
}

bool sameFile(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    if (!ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath()) {
        return true;
    }
    struct stat sa {};
    struct stat sb {};
    return stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

void checkFileDestination(const QString& source, const QString& destination, bool force,
                          const QString& sourceIs) {
    if (!source.isEmpty() && sameFile(source, destination)) {
        throw ImportError(QStringLiteral("El destino %1 es el mismo fichero que %2: se perdería el origen.")
                              .arg(native(destination), sourceIs));
    }
    const QFileInfo folder(QFileInfo(destination).absolutePath());
    if (!folder.isDir()) {
        throw ImportError(
            QStringLiteral("No se puede crear el fichero de destino %1: no existe la carpeta %2.")
                .arg(native(destination), native(folder.filePath())));
    }
    if (QFileInfo::exists(destination) && !force) {
        throw ImportError(
            QStringLiteral("Ya existe el fichero de destino: %1 (use --forzar para sustituirlo)")
                .arg(native(destination)));
    }
}

QString writeAndPublish(const QString& destination, const engines::JobWaitOptions& wait,
                        const std::function<void(const QString& temporary)>& write) {
    engines::removeDeadPartials(destination);  // what imports killed halfway left, journals included
    const QString temporary = temporaryPath(destination);
    try {
        engines::DatabaseReplacement replacement(destination, wait);
        write(temporary);
        return replacement.publish(temporary);
    } catch (const core::Interrupted&) {
        QFile::remove(temporary);
        throw;
    } catch (const engines::NameTakenError& e) {
        throw ImportError(e.description());  // the new file has the name: there is no temporary left
    } catch (const core::RunError& e) {
        QFile::remove(temporary);
        throw ImportError(QStringLiteral("No se puede crear el fichero de destino %1: %2")
                              .arg(native(destination), e.description()));
    } catch (...) {
        QFile::remove(temporary);
        throw;
    }
}

}  // namespace vexilo::importer
