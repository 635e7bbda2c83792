// vexilo-cli procesar: the job of "Procesar" without the window, through the same run driver.
#include <QFileInfo>

#include "app/fileselection.h"
#include "app/rundriver.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/consoledisplay.h"
#include "core/runstate.h"
#include "import/accessimport.h"
#include "platform/databasename.h"
#include "platform/services.h"

namespace vexilo::cli {
namespace {

const QString kUsage = QStringLiteral(
    "Uso: vexilo-cli procesar --bdd BD --bin FICHERO [--bin FICHERO2 ...] [--modo no|si|texto]\n"
    "                         [--espera SEGUNDOS] [-q]\n"
    "Hace el trabajo de \"Procesar\" sobre cada fichero de dibujo, en orden, con la misma base de datos:\n"
    "escribe FICHERO_s.bin al lado (borrando uno anterior), actualiza la base de datos y CONTROLPROCESO.\n"
    "  --modo no      asigna los textos sin mantener las asignaciones gráficas (por defecto)\n"
    "  --modo si      asigna los textos manteniendo las asignaciones gráficas\n"
    "  --modo texto   modifica los textos del dibujo con los de la base de datos\n"
    "  --espera N     si otro proceso está trabajando con la base de datos, espera a que termine como\n"
    "                 mucho N segundos (600) y después se trabaja sobre sus resultados; pasado ese\n"
    "                 tiempo no se hace nada y el estado de salida es 1\n"
    "  -q             sin la línea de progreso\n"
    "Los mensajes salen por la salida de errores y no esperan respuesta. Estado de salida: 0 correcto,\n"
    "1 tras una parada o un error (los ficheros siguientes no se procesan), 2 error de uso.\n");

app::Mode modeOf(const QString& texto) {
    if (texto == QLatin1String("no")) {
        return app::Mode::No;
    }
    if (texto == QLatin1String("si") || texto == QStringLiteral("sí")) {
        return app::Mode::Si;
    }
    if (texto == QLatin1String("texto")) {
        return app::Mode::RewriteText;
    }
    throw UsageError(QStringLiteral("--modo espera no, si o texto"));
}

void summary(const core::RunState& f) {
    output() << "Creado el fichero : " << f.NombreBinSalida << '\n'
             << "Textos Procesados : " << f.TextosProcesados << '\n';
    if (!f.report.empty()) {
        output() << asLines(f.report.text()) << '\n';
    }
    output().flush();
}

// One job; false when it stopped or failed (already reported).
bool processOne(core::RunState& f, ConsoleDisplay& display, const QString& bin, app::Mode mode,
                const app::RunOptions& options) {
    // The run state holds full paths, as the window's dialogs give them: the run log names the drawing
    // by its path, and a path relative to where the command ran would not match the next run's.
    f.NombreBin = QFileInfo(bin).absoluteFilePath();
    f.NombreBinSalida = app::outputNameOf(f.NombreBin);
    try {
        // As when the drawing is chosen in the window: an old output of that name goes first, unless
        // it is the drawing or the database itself.
        app::refuseOutputOverInputs(f.NombreBinSalida, f.NombreBin, f.NombreBdD);
        auto& services = platform::services();
        if (services.fileExists(f.NombreBinSalida)) {
            services.deleteFile(f.NombreBinSalida);
        }
    } catch (...) {
        writeError(core::present(core::currentFailure()).message);
        return false;
    }
    display.beginJob();
    const core::RunOutcome r = app::Command1_Click(f, mode, options);
    display.endJob(r.kind == core::RunOutcome::Kind::Finished);
    if (r.kind == core::RunOutcome::Kind::Finished) {
        summary(f);
        return true;
    }
    if (r.kind != core::RunOutcome::Kind::Ignored) {
        const core::Presentation shown = core::present(r);
        if (!shown.message.isEmpty()) {
            writeError(shown.message);
        }
        if (!r.detail.isEmpty()) {
            writeError(r.detail);  // the console can say where the drawing is damaged, and why
        }
        return false;
    }
    writeError(QStringLiteral("No se ha procesado %1").arg(bin));
    return false;
}

}  // namespace

int processCommand(const QStringList& args) {
    Arguments a;
    app::Mode mode = app::Mode::No;
    app::RunOptions options;
    try {
        a = parse(args,
                  {QStringLiteral("--bdd"), QStringLiteral("--bin"), QStringLiteral("--modo"),
                   QStringLiteral("--espera")},
                  {QStringLiteral("-q")});
        if (a.help) {
            output() << kUsage;
            return core::exitstatus::kDone;
        }
        if (!a.positionals.isEmpty()) {
            throw UsageError(QStringLiteral("argumento de más: %1").arg(a.positionals.front()));
        }
        if (a.options.value(QStringLiteral("--bdd")).size() != 1) {
            throw UsageError(QStringLiteral("hace falta una sola base de datos (--bdd)"));
        }
        if (a.options.value(QStringLiteral("--bin")).isEmpty()) {
            throw UsageError(QStringLiteral("hace falta al menos un fichero de dibujo (--bin)"));
        }
        for (const QString& option : {QStringLiteral("--bdd"), QStringLiteral("--bin")}) {
            for (const QString& valor : a.options.value(option)) {
                if (valor.trimmed().isEmpty()) {
                    throw UsageError(QStringLiteral("%1 necesita el nombre de un fichero").arg(option));
                }
            }
        }
        mode = modeOf(a.option(QStringLiteral("--modo"), QStringLiteral("no")));
        constexpr qint64 kOneWeek = 7 * 24 * 3600;
        const qint64 fallback = std::chrono::duration_cast<std::chrono::seconds>(options.wait).count();
        options.wait = std::chrono::seconds(a.number(QStringLiteral("--espera"), fallback, 0, kOneWeek));
    } catch (const UsageError& e) {
        return usageError(e.message(), kUsage);
    }

    const QString dbPath = a.option(QStringLiteral("--bdd"));
    if (importer::isAccessDatabase(dbPath)) {
        writeError(QStringLiteral("%1 es una base de datos Access. Impórtela primero:\n"
                                  "  vexilo-cli importar %1 %2")
                       .arg(dbPath, importer::importedPath(dbPath)));
        return core::exitstatus::kEnded;
    }
    ConsoleDisplay display(a.flags.contains(QStringLiteral("-q")));
    core::RunState f;  // one state for all the jobs, as the window keeps one for its whole life
    f.display = &display;
    f.NombreBdD = platform::isServerDatabase(dbPath) ? dbPath : QFileInfo(dbPath).absoluteFilePath();
    for (const QString& bin : a.options.value(QStringLiteral("--bin"))) {
        if (!processOne(f, display, bin, mode, options)) {
            return core::exitstatus::kEnded;
        }
    }
    return core::exitstatus::kDone;
}

}  // namespace vexilo::cli
