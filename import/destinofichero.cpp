#include "import/destinofichero.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "import/accessimport.h"

namespace vexilo::importacion {
namespace {

QString nativo(const QString& ruta) {
    return QDir::toNativeSeparators(ruta);
}

}  // namespace

QString rutaTemporal(const QString& destino) {
    return destino + QStringLiteral(".importando");
}

bool mismoFichero(const QString& a, const QString& b) {
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

void compruebaDestinoFichero(const QString& origen, const QString& destino, bool forzar,
                             const QString& origenEs) {
    if (!origen.isEmpty() && mismoFichero(origen, destino)) {
        throw ErrorImportacion(
            QStringLiteral("El destino %1 es el mismo fichero que %2: se perdería el origen.")
                .arg(nativo(destino), origenEs));
    }
    const QFileInfo carpeta(QFileInfo(destino).absolutePath());
    if (!carpeta.isDir()) {
        throw ErrorImportacion(
            QStringLiteral("No se puede crear el fichero de destino %1: no existe la carpeta %2.")
                .arg(nativo(destino), nativo(carpeta.filePath())));
    }
    if (QFileInfo::exists(destino) && !forzar) {
        throw ErrorImportacion(
            QStringLiteral("Ya existe el fichero de destino: %1 (use --forzar para sustituirlo)")
                .arg(nativo(destino)));
    }
}

void escribeYPublica(const QString& destino, const std::function<void(const QString& temporal)>& escribe) {
    const QString temporal = rutaTemporal(destino);
    QFile::remove(temporal);
    try {
        escribe(temporal);
    } catch (...) {
        QFile::remove(temporal);
        throw;
    }
    if (QFileInfo::exists(destino) && !QFile::remove(destino)) {
        QFile::remove(temporal);
        throw ErrorImportacion(
            QStringLiteral("No se puede sustituir el fichero de destino: %1").arg(nativo(destino)));
    }
    if (!QFile::rename(temporal, destino)) {
        QFile::remove(temporal);
        throw ErrorImportacion(
            QStringLiteral("No se puede crear el fichero de destino: %1").arg(nativo(destino)));
    }
}

}  // namespace vexilo::importacion
