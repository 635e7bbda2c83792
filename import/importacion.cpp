#include "import/importacion.h"

#include <QDir>
#include <QFileInfo>
#include <functional>
#include <memory>

#include "import/destinofichero.h"
#include "import/destinomotor.h"
#include "import/destinosqlite.h"
#include "import/origenmotor.h"
#include "platform/databasename.h"

namespace vexilo::importacion {
namespace {

// What a source hands to a destination: the tables read and what the reader warned about.
using Volcado = std::function<Resultado(Destino&)>;

// A database name as a message may show it: a URI without its password, a path in the system's form.
QString mostrado(const QString& nombre) {
    return platform::isServerDatabase(nombre) ? platform::shownDatabaseName(nombre)
                                              : QDir::toNativeSeparators(nombre);
}

Volcado desdeMotor(const QString& origen) {
    return [origen](Destino& destino) {
        std::unique_ptr<platform::Database> bd;
        Resultado r;
        try {
            bd = platform::DBEngine::instance().Workspaces(0).OpenDatabase(origen);
            r.tablas = leeBaseDeDatos(*bd, destino);
        } catch (const platform::EngineError& e) {
            throw ErrorImportacion(QStringLiteral("No se puede leer la base de datos de origen %1: %2")
                                       .arg(mostrado(origen), e.description()));
        }
        bd->Close();
        compruebaFilas(r.tablas, destino);
        return r;
    };
}

// The source's reader, after the checks that need no reading.
Volcado origenDe(const QString& origen) {
    if (platform::isServerDatabase(origen)) {
        return desdeMotor(origen);
    }
    if (!QFileInfo(origen).isFile()) {
        throw ErrorImportacion(QStringLiteral("No existe el fichero: %1").arg(mostrado(origen)));
    }
    if (esBaseDeDatosAccess(origen)) {
        return [origen](Destino& destino) { return vuelcaAccess(origen, destino); };
    }
    return desdeMotor(origen);
}

Resultado aFichero(const QString& origen, const Volcado& volcado, const QString& destino, bool forzar) {
    if (QFileInfo(destino).isFile() && esBaseDeDatosAccess(destino)) {
        throw ErrorImportacion(
            QStringLiteral(
                "El destino %1 es una base de datos Access: no se escribe en bases de datos Access.")
                .arg(mostrado(destino)));
    }
    const bool origenFichero = !platform::isServerDatabase(origen);
    compruebaDestinoFichero(origenFichero ? origen : QString(), destino, forzar,
                            origenFichero && esBaseDeDatosAccess(origen)
                                ? QStringLiteral("la base de datos Access")
                                : QStringLiteral("el origen"));
    Resultado r;
    escribeYPublica(destino, [&](const QString& temporal) {
        DestinoSqlite sqlite(temporal, destino);
        r = volcado(sqlite);
        sqlite.termina();
    });
    return r;
}

// The server database, created when the server lacks it.
std::unique_ptr<platform::Database> abreOCrea(const QString& destino) {
    try {
        return platform::DBEngine::instance().Workspaces(0).OpenDatabase(destino);
    } catch (const platform::EngineError& e) {
        if (e.number() != platform::errnum::kDatabaseNotFound) {
            throw;
        }
    }
    return platform::CreateDatabase(destino);
}

Resultado aServidor(const QString& origen, const Volcado& volcado, const QString& destino, bool forzar) {
    if (platform::isServerDatabase(origen) &&
        platform::shownDatabaseName(origen).compare(platform::shownDatabaseName(destino),
                                                    Qt::CaseInsensitive) == 0) {
        throw ErrorImportacion(
            QStringLiteral("El destino %1 es la misma base de datos que el origen: se perdería el origen.")
                .arg(mostrado(destino)));
    }
    std::unique_ptr<platform::Database> bd;
    try {
        bd = abreOCrea(destino);
    } catch (const platform::EngineError& e) {
        throw ErrorImportacion(QStringLiteral("No se puede abrir la base de datos de destino %1: %2")
                                   .arg(mostrado(destino), e.description()));
    }
    Resultado r;
    {
        DestinoMotor motor(*bd, mostrado(destino), forzar);
        r = volcado(motor);
        motor.termina();
    }
    bd->Close();
    return r;
}

}  // namespace

void compruebaFilas(const std::vector<TablaImportada>& tablas, Destino& destino) {
    for (const TablaImportada& t : tablas) {
        const std::int64_t guardadas = destino.filasGuardadas(t.nombre);
        if (guardadas != t.filas) {
            throw ErrorImportacion(
                QStringLiteral(
                    "La tabla %1 tiene %2 filas en el destino y %3 en el origen: no se ha importado nada.")
                    .arg(t.nombre)
                    .arg(guardadas)
                    .arg(t.filas));
        }
    }
}

Resultado importa(const QString& origen, const QString& destino, bool forzar) {
    const Volcado volcado = origenDe(origen);
    if (platform::isServerDatabase(destino)) {
        return aServidor(origen, volcado, destino, forzar);
    }
    return aFichero(origen, volcado, destino, forzar);
}

}  // namespace vexilo::importacion
