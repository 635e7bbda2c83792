// vexilo-cli procesar: the job of "Procesar" without the window, through the same run driver.
#include <QDir>
#include <QFileInfo>
#include <memory>

#include "app/fileselection.h"
#include "app/jobreport.h"
#include "app/rundriver.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/consoledisplay.h"
#include "cli/jobwait.h"
#include "cli/stopsignals.h"
#include "cli/usage.h"
#include "engines/databasename.h"
#include "import/accessimport.h"

namespace vexilo::cli {
namespace {

const QString kNothingDone =
    QStringLiteral("No se ha cambiado nada: la base de datos y los ficheros de salida quedan como estaban.");
const QString kNothingChanged =
    QStringLiteral("Simulación: no se ha cambiado nada (ni la base de datos ni ningún fichero de dibujo).");

app::Mode modeOf(const QString& given) {
    const QString texto = given.toLower();
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

// What one run of the command asks for beyond the driver's options.
struct Request {
    app::Mode mode = app::Mode::No;
    app::RunOptions options;
    QString report;  // --informe; empty without one
};

// The summary goes to the standard output, unless the report does.
QTextStream& summaryStream(const Request& request) {
    return request.report == QLatin1String("-") ? errors() : output();
}

// `created`: the output has its name (after a failure past the commit, the message says where it is).
void summary(const app::JobInputs& in, const app::Job& job, const Request& request, bool created = true) {
    QTextStream& out = summaryStream(request);
    if (request.options.simulate) {
        out << kNothingChanged << '\n' << "Se crearía el fichero : " << in.NombreBinSalida << '\n';
    } else if (created) {
        out << "Creado el fichero : " << in.NombreBinSalida << '\n';
    }
    out << "Textos Procesados : " << job.TextosProcesados() << '\n';
    if (!job.report().empty()) {
        out << asLines(job.report().text()) << '\n';
    }
    out.flush();
}

bool wasInterrupted(const core::RunOutcome& r) {
    return r.kind == core::RunOutcome::Kind::Failed && r.number == core::errnum::kInterrupted;
}

// Whether a failure's own text says already that everything stays as it was.
bool saysNothingChanged(const QString& text) {
    return text.contains(QStringLiteral("No se ha cambiado nada"), Qt::CaseInsensitive) ||
           text.contains(QStringLiteral("no se ha hecho nada"), Qt::CaseInsensitive) ||
           text.contains(QStringLiteral("quedan como estaban"), Qt::CaseInsensitive);
}

void showEnd(const core::RunOutcome& r, const QString& bin) {
    if (r.kind == core::RunOutcome::Kind::Ignored) {
        writeError(QStringLiteral("No se ha procesado %1").arg(bin));
        return;
    }
    if (wasInterrupted(r)) {
        writeError(jobInterruptedMessage(bin));  // one line, which says also that nothing changed
        return;
    }
    const core::Presentation shown = core::present(r);
    if (!shown.message.isEmpty()) {
        writeError(shown.message);
    }
    if (!r.detail.isEmpty()) {
        writeError(r.detail);  // the console can say where the drawing is damaged, and why
    }
}

// A report written over the drawing, its output or the database would destroy them.
void refuseReportOverFiles(const QString& report, const app::JobInputs& f) {
    if (report.isEmpty() || report == QLatin1String("-")) {
        return;
    }
    app::refuseOutputOverInputs(report, f.NombreBin, f.NombreBdD);
    if (QFileInfo(report).absoluteFilePath() == QFileInfo(f.NombreBinSalida).absoluteFilePath()) {
        throw core::Stop(QStringLiteral("El informe %1 es el fichero de dibujo de salida: elija otro nombre.")
                             .arg(QDir::toNativeSeparators(report)));
    }
}

// An output that is the drawing or the database itself is refused before anything is written. An old
// output of that name stays until the new one replaces it in one step (engines/publish.h): a job that
// fails or is stopped by a signal leaves it as it was, so that the folder never holds half a result.
void prepareOutput(const app::JobInputs& f, const Request& request) {
    app::refuseOutputOverInputs(f.NombreBinSalida, f.NombreBin, f.NombreBdD);
    refuseReportOverFiles(request.report, f);
}

std::unique_ptr<app::JobReport> openReport(const app::JobInputs& f, const Request& request) {
    if (request.report.isEmpty()) {
        return nullptr;
    }
    return std::make_unique<app::JobReport>(
        request.report, app::JobReportHead{f.NombreBdD, f.NombreBin, f.NombreBinSalida, request.mode,
                                           request.options.simulate});
}

// One job; false when it stopped or failed (already reported).
bool processOne(app::Session& session, ConsoleDisplay& display, const QString& bin, const Request& request) {
    // A job takes full paths, as the window's dialogs give them: the run log names the drawing by its
    // path, and a path relative to where the command ran would not match the next run's.
    app::JobInputs f{session.NombreBdD, QFileInfo(bin).absoluteFilePath(), QString(), request.mode,
                     request.options};
    f.NombreBinSalida = app::outputNameOf(f.NombreBin);
    std::unique_ptr<app::JobReport> report;
    try {
        prepareOutput(f, request);
        report = openReport(f, request);
    } catch (...) {
        writeError(core::present(core::currentFailure()).message);
        return false;
    }
    display.beginJob(bin);
    app::Job job(f, display, report.get(), session.PorcentajeAnterior);
    // A report to a file is committed with the job; one to the standard output is ended after it.
    const bool toFile = report && report->path() != QLatin1String("-");
    if (toFile) {
        job.publishWith(*report);
    }
    core::RunOutcome r = job.run();
    session.PorcentajeAnterior = job.progress().PorcentajeAnterior;
    if (report && !toFile) {
        const core::RunOutcome written = core::guarded([&] { report->finish(r, job.TextosProcesados()); });
        if (written.kind == core::RunOutcome::Kind::Failed) {
            r = written;
        }
    }
    // A job whose database kept it whole is done, also when a file of it could not take its name or be
    // put on the disk after the commit: the warning says what the next job on the database finishes, and
    // the run goes on.
    const bool keptWhole = job.kept() == app::Kept::Whole;
    display.endJob(r.kind == core::RunOutcome::Kind::Finished || keptWhole);
    if (r.kind == core::RunOutcome::Kind::Finished) {
        summary(f, job, request);
        return true;
    }
    if (r.kind == core::RunOutcome::Kind::Failed && keptWhole) {
        writeError(QStringLiteral("Aviso: ") + asLines(r.description));
        summary(f, job, request, job.outputNamed());
        return true;
    }
    showEnd(r, bin);
    if (request.options.simulate && !wasInterrupted(r)) {
        writeError(kNothingChanged);
    } else if (r.kind == core::RunOutcome::Kind::Failed && job.kept() == app::Kept::Nothing &&
               !wasInterrupted(r) && !saysNothingChanged(core::present(r).message)) {
        // A failure before the commit leaves the database and the files as they were: the user reads it,
        // whatever the failure's own text says.
        writeError(kNothingDone);
    }
    return false;
}

}  // namespace

int processCommand(const QStringList& args) {
    const Command& command = commandNamed(QStringLiteral("procesar"));
    Arguments a;
    Request request;
    try {
        a = parse(args, command);
        if (a.help) {
            output() << commandUsage(command);
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
        for (const QString& option :
             {QStringLiteral("--bdd"), QStringLiteral("--bin"), QStringLiteral("--informe")}) {
            for (const QString& valor : a.options.value(option)) {
                if (valor.trimmed().isEmpty()) {
                    throw UsageError(QStringLiteral("%1 necesita el nombre de un fichero").arg(option));
                }
            }
        }
        if (a.options.contains(QStringLiteral("--informe")) &&
            (a.options.value(QStringLiteral("--informe")).size() != 1 ||
             a.options.value(QStringLiteral("--bin")).size() != 1)) {
            throw UsageError(
                QStringLiteral("--informe va con un solo --bin: un informe por fichero de dibujo"));
        }
        request.mode = modeOf(a.option(QStringLiteral("--modo"), QStringLiteral("no")));
        request.report = a.option(QStringLiteral("--informe"));
        request.options.simulate = a.flags.contains(QStringLiteral("--simular"));
        request.options.wait = waitOption(a);
    } catch (const UsageError& e) {
        return usageError(e.message(), commandUsage(command));
    }

    const QString dbPath = a.option(QStringLiteral("--bdd"));
    if (importer::isAccessDatabase(dbPath)) {
        writeError(QStringLiteral("%1 es una base de datos Access. Impórtela primero:\n"
                                  "  vexilo-cli importar %1 %2")
                       .arg(dbPath, importer::importedPath(dbPath)));
        return core::exitstatus::kEnded;
    }
    ConsoleDisplay display(a.flags.contains(QStringLiteral("-q")));
    app::Session session;  // one for all the jobs, as the window keeps one for its whole life
    session.NombreBdD = engines::isServerDatabase(dbPath) ? dbPath : QFileInfo(dbPath).absoluteFilePath();
    catchStopSignals();
    for (const QString& bin : a.options.value(QStringLiteral("--bin"))) {
        // A stop that came after the job before ends the run here: the drawings before it keep their jobs.
        if (stopRequested()) {
            writeError(jobInterruptedMessage(bin));
            return core::exitstatus::kEnded;
        }
        if (!processOne(session, display, bin, request)) {
            return core::exitstatus::kEnded;
        }
    }
    return core::exitstatus::kDone;
}

}  // namespace vexilo::cli
