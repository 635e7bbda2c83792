#include "import/dbimport.h"

#include <QDir>
#include <QFileInfo>
#include <functional>
#include <memory>

#include "import/enginedestination.h"
#include "import/enginesource.h"
#include "import/filedestination.h"
#include "platform/databasename.h"

namespace vexilo::importer {
namespace {

// What a source hands to a destination: the tables read and what the reader warned about.
using Copier = std::function<Result(Destination&)>;

// A database name as a message may show it: a URI without its password, a path in the system's form.
QString shown(const QString& name) {
    return platform::isServerDatabase(name) ? platform::shownDatabaseName(name)
                                            : QDir::toNativeSeparators(name);
}

Copier fromEngine(const QString& source) {
    return [source](Destination& destination) {
        std::unique_ptr<platform::Database> bd;
        Result r;
        try {
            bd = platform::DBEngine::instance().Workspaces(0).OpenDatabase(source);
            r.tables = readDatabase(*bd, destination);
        } catch (const platform::EngineError& e) {
            throw ImportError(QStringLiteral("No se puede leer la base de datos de origen %1: %2")
                                  .arg(shown(source), e.description()));
        }
        bd->Close();
        checkRowCounts(r.tables, destination);
        return r;
    };
}

// The source's reader, after the checks that need no reading.
Copier sourceOf(const QString& source) {
    if (platform::isServerDatabase(source)) {
        return fromEngine(source);
    }
    if (!QFileInfo(source).isFile()) {
        throw ImportError(QStringLiteral("No existe el fichero: %1").arg(shown(source)));
    }
    if (isAccessDatabase(source)) {
        return [source](Destination& destination) { return copyAccess(source, destination); };
    }
    return fromEngine(source);
}

Result toFile(const QString& source, const Copier& copier, const QString& destination, bool force) {
    if (QFileInfo(destination).isFile() && isAccessDatabase(destination)) {
        throw ImportError(
            QStringLiteral(
                "El destino %1 es una base de datos Access: no se escribe en bases de datos Access.")
                .arg(shown(destination)));
    }
    const bool sourceIsFile = !platform::isServerDatabase(source);
    checkFileDestination(sourceIsFile ? source : QString(), destination, force,
                         sourceIsFile && isAccessDatabase(source) ? QStringLiteral("la base de datos Access")
                                                                  : QStringLiteral("el origen"));
    Result r;
    writeAndPublish(destination, [&](const QString& temporary) {
        r = copyIntoNewDatabase(temporary, shown(destination), copier);
    });
    return r;
}

// The server database, created when the server lacks it.
std::unique_ptr<platform::Database> openOrCreate(const QString& destination) {
    try {
        return platform::DBEngine::instance().Workspaces(0).OpenDatabase(destination);
    } catch (const platform::EngineError& e) {
        if (e.number() != platform::errnum::kDatabaseNotFound) {
            throw;
        }
    }
    return platform::CreateDatabase(destination);
}

Result toServer(const QString& source, const Copier& copier, const QString& destination, bool force) {
    if (platform::isServerDatabase(source) &&
        platform::shownDatabaseName(source).compare(platform::shownDatabaseName(destination),
                                                    Qt::CaseInsensitive) == 0) {
        throw ImportError(
            QStringLiteral("El destino %1 es la misma base de datos que el origen: se perdería el origen.")
                .arg(shown(destination)));
    }
    std::unique_ptr<platform::Database> bd;
    try {
        bd = openOrCreate(destination);
    } catch (const platform::EngineError& e) {
        throw ImportError(QStringLiteral("No se puede abrir la base de datos de destino %1: %2")
                              .arg(shown(destination), e.description()));
    }
    Result r;
    {
        EngineDestination engine(*bd, shown(destination), force);
        r = copier(engine);
        engine.finish();
    }
    bd->Close();
    return r;
}

}  // namespace

void checkRowCounts(const std::vector<ImportedTable>& tables, Destination& destination) {
    for (const ImportedTable& t : tables) {
        const std::int64_t stored = destination.storedRows(t.name);
        if (stored != t.rows) {
            throw ImportError(
                QStringLiteral(
                    "La tabla %1 tiene %2 filas en el destino y %3 en el origen: no se ha importado nada.")
                    .arg(t.name)
                    .arg(stored)
                    .arg(t.rows));
        }
    }
}

Result runImport(const QString& source, const QString& destination, bool force) {
    const Copier copier = sourceOf(source);
    if (platform::isServerDatabase(destination)) {
        return toServer(source, copier, destination, force);
    }
    return toFile(source, copier, destination, force);
}

}  // namespace vexilo::importer
