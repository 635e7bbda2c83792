#include "tools/import/accessimport.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>

#include "tools/import/destinosqlite.h"
#include "tools/import/lectoraccess.h"
#include "tools/import/lectorflujo.h"

namespace vexilo::importacion {
namespace {

constexpr int kDesplazamientoFirma = 4;

QString nativo(const QString& ruta) {
    return QDir::toNativeSeparators(ruta);
}

// True when both names lead to one file: through symbolic links (the canonical paths agree) or as hard
// links of one file (same device and inode).
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

// What must hold before anything is read or written.
void compruebaRutas(const QString& origen, const QString& destino, bool forzar) {
    if (!QFileInfo(origen).isFile()) {
        throw ErrorImportacion(QStringLiteral("No existe el fichero: %1").arg(nativo(origen)));
    }
    if (!esBaseDeDatosAccess(origen)) {
        throw ErrorImportacion(
            QStringLiteral("El fichero no es una base de datos Access: %1").arg(nativo(origen)));
    }
    if (mismoFichero(origen, destino)) {
        throw ErrorImportacion(
            QStringLiteral("El destino %1 es el mismo fichero que la base de datos Access: se perdería el "
                           "origen.")
                .arg(nativo(destino)));
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

Resultado copia(const QString& origen, const QString& temporal, const QString& destino) {
    DestinoSqlite sqlite(temporal, destino);
    LectorFlujo lector(sqlite);
    Resultado r;
    r.avisos = leeConLector(origen, lector);
    sqlite.termina();
    r.tablas = lector.tablas();
    return r;
}

}  // namespace

bool esBaseDeDatosAccess(const QString& ruta) {
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray cabecera = f.read(kDesplazamientoFirma + 15).mid(kDesplazamientoFirma);
    return cabecera == "Standard Jet DB" || cabecera == "Standard ACE DB";
}

QDateTime fechaAccess(double valor) {
    const double dias = std::trunc(valor);
    const double fraccion = std::fabs(valor - dias);
    qint64 ms = std::llround(fraccion * 86400000.0);
    QDate fecha = QDate(1899, 12, 30).addDays(static_cast<qint64>(dias));
    if (ms >= 86400000) {  // a fraction that rounds to a whole day is midnight of the next one
        fecha = fecha.addDays(1);
        ms -= 86400000;
    }
    return QDateTime(fecha, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

Resultado importaAccess(const QString& origen, const QString& destino, bool forzar) {
    compruebaRutas(origen, destino, forzar);
    const QString temporal = destino + QStringLiteral(".importando");
    QFile::remove(temporal);
    Resultado r;
    try {
        r = copia(origen, temporal, destino);
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
    return r;
}

QString rutaImportada(const QString& rutaAccess) {
    const QFileInfo info(rutaAccess);
    return QDir(info.path()).filePath(info.completeBaseName() + QStringLiteral(".sqlite"));
}

}  // namespace vexilo::importacion
