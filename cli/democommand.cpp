// vexilo-cli demo: writes the deterministic sample (a database and a drawing) into a folder.
#include <QDir>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/jobwait.h"
#include "cli/stopsignals.h"
#include "cli/usage.h"
#include "core/errors.h"
#include "engines/databasename.h"
#include "tools/sample/sample.h"

namespace vexilo::cli {
int demoCommand(const QStringList& args) {
    const Command& command = commandNamed(QStringLiteral("demo"));
    Arguments a;
    sample::Options o;
    try {
        a = parse(args, command);
        if (a.help) {
            output() << commandUsage(command);
            return core::exitstatus::kDone;
        }
        if (a.positionals.size() != 1) {
            throw UsageError(QStringLiteral("hace falta exactamente una carpeta"));
        }
        constexpr qint64 kMax = 2'000'000'000;
        o.elements = a.number(QStringLiteral("--elementos"), o.elements, 0, kMax);
        o.texts = a.number(QStringLiteral("--textos"), 0, 0, o.elements);
        o.tables = static_cast<int>(a.number(QStringLiteral("--tablas"), 0, 1, 99));
        o.recordsPerTable = a.number(QStringLiteral("--registros"), 0, 0, kMax);
        o.seed = static_cast<std::uint64_t>(a.number(QStringLiteral("--semilla"), 1, 0, INT64_MAX));
        o.database = a.option(QStringLiteral("--bdd"));
        o.wait = jobWait(a);
    } catch (const UsageError& e) {
        return usageError(e.message(), commandUsage(command));
    }
    catchStopSignals();
    try {
        const sample::Result r = sample::generate(a.positionals.front(), o);
        output() << "Base de datos : " << engines::shownDatabaseName(r.database) << '\n'
                 << "Dibujo : " << r.drawing << '\n'
                 << "Elementos : " << r.elements << " (textos " << r.texts << ", descartados " << r.dropped
                 << ")\n"
                 << "Registros de atributos : " << r.records << '\n';
        if (!r.backup.isEmpty()) {
            output() << "Copia del fichero sustituido : " << QDir::toNativeSeparators(r.backup) << '\n';
        }
        output().flush();
        return core::exitstatus::kDone;
    } catch (const core::Interrupted&) {
        writeError(sampleInterruptedMessage(a.positionals.front()));
    } catch (const core::RunError& e) {
        writeError(QStringLiteral("Error %1: %2").arg(e.number()).arg(e.description()));
    } catch (const std::invalid_argument& e) {
        return usageError(QString::fromUtf8(e.what()), commandUsage(command));
    } catch (const std::exception& e) {
        writeError(QString::fromUtf8(e.what()));
    }
    return core::exitstatus::kEnded;
}

}  // namespace vexilo::cli
