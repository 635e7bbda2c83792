#include "import/accessimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>

#include "import/destinofichero.h"
#include "import/destinosqlite.h"
#include "import/importacion.h"
#include "import/lectoraccess.h"
#include "import/lectorflujo.h"

namespace vexilo::importacion {
namespace {

constexpr int kDesplazamientoFirma = 4;

QString nativo(const QString& ruta) {
    return QDir::toNativeSeparators(ruta);
}

void compruebaOrigenAccess(const QString& origen) {
    if (!QFileInfo(origen).isFile()) {
        throw ErrorImportacion(QStringLiteral("No existe el fichero: %1").arg(nativo(origen)));
    }
    if (!esBaseDeDatosAccess(origen)) {
        throw ErrorImportacion(
            QStringLiteral("El fichero no es una base de datos Access: %1").arg(nativo(origen)));
    }
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

Resultado vuelcaAccess(const QString& origen, Destino& destino) {
    LectorFlujo lector(destino);
    Resultado r;
    r.avisos = leeConLector(origen, lector);
    r.tablas = lector.tablas();
    compruebaFilas(r.tablas, destino);
    return r;
}

Resultado importaAccess(const QString& origen, const QString& destino, bool forzar) {
    compruebaOrigenAccess(origen);
    compruebaDestinoFichero(origen, destino, forzar, QStringLiteral("la base de datos Access"));
    Resultado r;
    escribeYPublica(destino, [&](const QString& temporal) {
        DestinoSqlite sqlite(temporal, destino);
        r = vuelcaAccess(origen, sqlite);
        sqlite.termina();
    });
    return r;
}

QString rutaImportada(const QString& rutaAccess) {
    const QFileInfo info(rutaAccess);
    return QDir(info.path()).filePath(info.completeBaseName() + QStringLiteral(".sqlite"));
}

}  // namespace vexilo::importacion
