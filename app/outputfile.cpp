#include "app/outputfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/errors.h"

namespace vexilo::app {

void checkOutputName(const QString& outputName) {
    const QFileInfo info(outputName);
    if (!info.exists() || info.isFile()) {
        return;  // nothing there, or a file (or a link to one) that the written drawing replaces at once
    }
    const QString what =
        info.isDir() ? QStringLiteral("una carpeta") : QStringLiteral("algo que no es un fichero");
    throw core::RunError(
        core::errnum::kFileAccess,
        QStringLiteral("No se puede escribir el fichero de salida %1: con ese nombre hay %2. "
                       "No se ha cambiado nada.")
            .arg(QDir::toNativeSeparators(outputName), what));
}

}  // namespace vexilo::app
