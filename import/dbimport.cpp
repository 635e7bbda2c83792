#include "import/dbimport.h"

#include <QDir>
#include <QFileInfo>
#include <functional>
#include <memory>

#include "engines/databasename.h"
#include "import/enginedestination.h"
#include "import/enginesource.h"
#include "import/filedestination.h"

namespace vexilo::importer {
namespace {

// What a source hands to a destination: the tables read and what the reader warned about.
using Copier = std::function<Result(Destination&)>;

// A database name as a message may show it: a URI without its password, a path in the system's form.
QString shown(const QString& name) {
    return engines::isServerDatabase(name) ? engines::shownDatabaseName(name)
                                           : QDir::toNativeSeparators(name);
}

// The source is held as a job holds it (a job on it is waited for) and read in one snapshot, so that the
// copy is of one state of it: never some tables from before a job and others from after it.
Copier fromEngine(const QString& source, const engines::JobWaitOptions& wait) {
    return [source, wait](Destination& destination) {
        std::unique_ptr<engines::Database> bd;
        Result r;
        try {
            bd = engines::openHeld(source, wait);
            bd->BeginSnapshot();
            r.tables = readDatabase(*bd, destination);
            bd->Rollback();  // it changed nothing
        } catch (const core::EngineError& e) {
            throw ImportError(QStringLiteral("No se puede leer la base de datos de origen %1: %2")
                                  .arg(shown(source), e.description()));
        }
        bd->Close();
        checkRowCounts(r.tables, destination);
        return r;
    };
}

// The source's reader, after the checks that need no reading.
Copier sourceOf(const QString& source, const engines::JobWaitOptions& wait) {
    if (engines::isServerDatabase(source)) {
        return fromEngine(source, wait);
    }
    if (!QFileInfo(source).isFile()) {
        throw ImportError(QStringLiteral("No existe el fichero: %1").arg(shown(source)));
    }
    if (isAccessDatabase(source)) {
        return [source](Destination& destination) { return copyAccess(source, destination); };
    }
    return fromEngine(source, wait);
}

// A destination that asks, at every table and every kRowsBetweenAsks rows, whether the import must end:
// it then ends with core::Interrupted, and the destination is undone as after any failure.
class AskingDestination final : public Destination {
  public:
    AskingDestination(Destination& destination, const std::function<bool()>& interrupted)
        : m_destination(destination), m_interrupted(interrupted) {}
    void beginTable(const StreamTable& t) override {
        ask();
        m_destination.beginTable(t);
    }
    void row(const std::vector<QVariant>& values) override {
        if (++m_rows % kRowsBetweenAsks == 0) {
            ask();
        }
        m_destination.row(values);
    }
    void endTable() override { m_destination.endTable(); }
    std::int64_t storedRows(const QString& table) override { return m_destination.storedRows(table); }
    void finish() override {
        ask();
        m_destination.finish();
    }

  private:
    static constexpr std::int64_t kRowsBetweenAsks = 1024;
    void ask() const {
        if (m_interrupted()) {
            throw core::Interrupted();
        }
    }
    Destination& m_destination;
    const std::function<bool()>& m_interrupted;
    std::int64_t m_rows = 0;
};

// The copier, asking between rows whether to end. A copy that fails once the end was asked for (the
// Access reader, which shares the terminal, may have been stopped by the same Ctrl-C) was interrupted.
Copier interruptible(Copier copier, std::function<bool()> interrupted) {
    if (!interrupted) {
        return copier;
    }
    return [copier = std::move(copier), interrupted = std::move(interrupted)](Destination& destination) {
        AskingDestination asking(destination, interrupted);
        try {
            return copier(asking);
        } catch (const core::Interrupted&) {
            throw;
        } catch (...) {
            if (interrupted()) {
                throw core::Interrupted();
            }
            throw;
        }
    };
}

Result toFile(const QString& source, const Copier& copier, const QString& destination, bool force,
              const engines::JobWaitOptions& wait) {
    if (QFileInfo(destination).isFile() && isAccessDatabase(destination)) {
        throw ImportError(
            QStringLiteral(
                "El destino %1 es una base de datos Access: no se escribe en bases de datos Access.")
                .arg(shown(destination)));
    }
    const bool sourceIsFile = !engines::isServerDatabase(source);
    checkFileDestination(sourceIsFile ? source : QString(), destination, force,
                         sourceIsFile && isAccessDatabase(source) ? QStringLiteral("la base de datos Access")
                                                                  : QStringLiteral("el origen"));
    Result r;
    const QString backup = writeAndPublish(destination, wait, [&](const QString& temporary) {
        r = copyIntoNewDatabase(temporary, shown(destination), copier);
    });
    r.backup = backup;
    return r;
}

// The server database, created when the server lacks it (`created` then says so), held as a job holds it:
// the tables a job works on are never replaced under it.
std::unique_ptr<engines::Database> openOrCreate(const QString& destination,
                                                const engines::JobWaitOptions& wait, bool& created) {
    try {
        return engines::openHeld(destination, wait);
    } catch (const core::EngineError& e) {
        if (e.number() != core::errnum::kDatabaseNotFound) {
            throw;
        }
    }
    std::unique_ptr<engines::Database> bd = engines::CreateDatabase(destination);
    created = true;
    bd->HoldForJob(wait.limit, {});  // nobody else knows it yet
    return bd;
}

// A database that this import created and could not fill goes again: a failed import leaves nothing new.
void dropCreated(std::unique_ptr<engines::Database>& bd, const QString& destination) {
    try {
        bd->Close();
        bd.reset();
        engines::DropDatabase(destination);
    } catch (const core::EngineError&) {
        // What the import failed for is what the user must read; an empty database is all that stays.
    }
}

Result toServer(const QString& source, const Copier& copier, const QString& destination, bool force,
                const engines::JobWaitOptions& wait) {
    if (engines::isServerDatabase(source) && engines::sameServerDatabase(source, destination)) {
        throw ImportError(
            QStringLiteral("El destino %1 es la misma base de datos que el origen: se perdería el origen.")
                .arg(shown(destination)));
    }
    std::unique_ptr<engines::Database> bd;
    bool created = false;
    try {
        bd = openOrCreate(destination, wait, created);
    } catch (const core::EngineError& e) {
        throw ImportError(QStringLiteral("No se puede abrir la base de datos de destino %1: %2")
                              .arg(shown(destination), e.description()));
    }
    Result r;
    try {
        EngineDestination engine(*bd, shown(destination), force);
        r = copier(engine);
        engine.finish();
    } catch (...) {
        if (created) {
            dropCreated(bd, destination);
        }
        throw;
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

Result runImport(const QString& source, const QString& destination, bool force,
                 const engines::JobWaitOptions& wait) {
    const Copier copier = interruptible(sourceOf(source, wait), wait.interrupted);
    if (engines::isServerDatabase(destination)) {
        return toServer(source, copier, destination, force, wait);
    }
    return toFile(source, copier, destination, force, wait);
}

}  // namespace vexilo::importer
