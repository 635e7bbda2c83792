// vexilo-cli importar: a database into another one that the job can use: from an Access file, a SQLite
// file or a server database into a new SQLite file or a server database.
#include <QDir>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/jobwait.h"
#include "cli/stopsignals.h"
#include "cli/usage.h"
#include "core/errors.h"
#include "engines/databasename.h"
#include "import/dbimport.h"

namespace vexilo::cli {
int importCommand(const QStringList& args) {
    const Command& command = commandNamed(QStringLiteral("importar"));
    Arguments a;
    engines::JobWaitOptions wait;
    try {
        a = parse(args, command);
        if (a.help) {
            output() << commandUsage(command);
            return core::exitstatus::kDone;
        }
        if (a.positionals.size() != 2) {
            throw UsageError(QStringLiteral("hacen falta el origen y el destino"));
        }
        wait = jobWait(a);
    } catch (const UsageError& e) {
        return usageError(e.message(), commandUsage(command));
    }
    catchStopSignals();
    try {
        const auto r = importer::runImport(a.positionals[0], a.positionals[1],
                                           a.flags.contains(QStringLiteral("--forzar")), wait);
        for (const auto& t : r.tables) {
            output() << t.name << " : " << t.rows << " filas\n";
        }
        output() << "Importadas " << r.tables.size() << " tablas en "
                 << engines::shownDatabaseName(a.positionals[1]) << '\n';
        if (!r.backup.isEmpty()) {
            output() << "Copia del fichero sustituido : " << QDir::toNativeSeparators(r.backup) << '\n';
        }
        output().flush();
        for (const auto& warning : r.warnings) {
            writeError(QStringLiteral("aviso: ") + warning);
        }
        return core::exitstatus::kDone;
    } catch (const importer::ImportError& e) {
        writeError(e.message());
    } catch (const core::Interrupted&) {
        writeError(importInterruptedMessage(engines::shownDatabaseName(a.positionals[1])));
    }
    return core::exitstatus::kEnded;
}

}  // namespace vexilo::cli
