#include "app/rundriver.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <memory>

#include "app/fileselection.h"
#include "app/outputfile.h"
#include "core/progress.h"
#include "drawing/binfile.h"
#include "passes/assignmentpass.h"
#include "passes/rewritepass.h"
#include "platform/dao.h"
#include "platform/databasename.h"
#include "platform/publish.h"
#include "schema/verification.h"

namespace vexilo::app {

namespace {

// The output is written under a name of its own beside the final one (platform::partialName) and takes
// the final name only at the end, after the database has committed: a job that fails, or is killed, never
// leaves a drawing under the output's name that looks whole. The name is this process's own: another job
// on the same drawing, waiting meanwhile for the database, must not cut short the file this one is writing.
using platform::partialName;

struct JobFiles {
    std::unique_ptr<drawing::BinReader> file1;
    std::unique_ptr<drawing::BinWriter> file3;
    QString partial;         // where file 3 is being written
    bool committed = false;  // the database holds the job's changes: the written drawing must stay
    bool simulated = false;  // the output is only written to be thrown away

    // The written output takes its name (replacing an old one at once, never leaving none).
    void publish(const QString& outputName) {
        platform::publishFile(partial, outputName);
        partial.clear();
    }
    void discard() {
        if (!partial.isEmpty() && !committed) {
            QFile::remove(partial);
            partial.clear();
        }
    }
};

// Every job starts with caches of its own and leaves none behind, however it ends.
class JobCaches {
  public:
    explicit JobCaches(core::RunState& f) : m_f(f) { m_f.caches = core::RunCaches{}; }
    ~JobCaches() { m_f.caches = core::RunCaches{}; }
    JobCaches(const JobCaches&) = delete;
    JobCaches& operator=(const JobCaches&) = delete;

  private:
    core::RunState& m_f;
};

// The database is the job's alone from its first read to its end: two jobs on one database run one
// after the other, the second on the first one's results.
void openDatabase(core::RunState& f, const RunOptions& options) {
    f.Wrk = &platform::DBEngine::instance().Workspaces(0);
    // The notices outlive this call: every later wait of the job's statements gives them too, maybe from
    // another thread (the engine's watchdog).
    core::Display* display = f.display;
    const QString waiting = waitingMessage(f.NombreBdD);
    f.Bd = platform::OpenDatabaseForJob(
        *f.Wrk, f.NombreBdD, options.wait, [display, waiting] { display->notice(waiting); },
        [display] { display->notice(QString()); }, [display] { return display->interrupted(); });
    // The whole job is one transaction: the pass's closing of Bd commits it.
    f.Bd->BeginTrans();
    if (options.simulate) {
        f.Bd->DiscardOnClose();
    }
}

// Once the database has committed, the drawing must not be lost: when it cannot take its name, the
// message says that the database was updated and where the drawing is.
void publishAfterCommit(const QString& outputName, JobFiles& files) {
    try {
        files.publish(outputName);
    } catch (const platform::RunError& e) {
        throw platform::RunError(
            e.number(),
            QStringLiteral("La base de datos ya tiene los cambios de este trabajo, pero el dibujo de "
                           "salida no ha podido tomar su nombre: %1 El dibujo está en %2.")
                .arg(e.description(), QDir::toNativeSeparators(files.partial)));
    }
}

// What a job that ends well or stops does with its output: publishes it, or throws a simulation's away.
void keepOutput(const QString& outputName, JobFiles& files) {
    if (files.simulated) {
        files.discard();
    } else {
        publishAfterCommit(outputName, files);
    }
}

void runJob(core::RunState& f, Mode mode, const RunOptions& options, JobFiles& files) {
    refuseOutputOverInputs(f.NombreBinSalida, f.NombreBin, f.NombreBdD);
    checkOutputName(f.NombreBinSalida);
    f.beforeCommit = [&f] { checkOutputName(f.NombreBinSalida); };
    files.file1 = std::make_unique<drawing::BinReader>(f.NombreBin);
    f.HoraInicio = core::secondsOfDay();
    platform::removeDeadPartials(f.NombreBinSalida);
    files.partial = partialName(f.NombreBinSalida);
    files.file3 = std::make_unique<drawing::BinWriter>(files.partial);
    f.display->setPointer(platform::MousePointer::Busy);
    openDatabase(f, options);

    schema::Chequea_tablas_principales(f);
    schema::chequea_resto_tablas(f);
    schema::chequea_estructura_de_tablas(f);

    if (mode == Mode::RewriteText) {
        passes::LeoBinCambiaTextoBin(f, *files.file1, *files.file3);
    } else {
        passes::LeoBinEntrada(f, *files.file1, *files.file3);
    }

    // The pass has put the output on the disk and committed the database; a failure from here on is a
    // failure of the job, never a success, and the written drawing stays.
    files.committed = !files.simulated;
    files.file3->close();
    files.file1->close();
    files.file3.reset();
    files.file1.reset();
    keepOutput(f.NombreBinSalida, files);

    f.display->setText(core::Control::Label5, options.simulate ? simulatedMessage(f.NombreBinSalida)
                                                               : createdMessage(f.NombreBinSalida));
    f.display->setFinishedVisible(true);
    f.display->setPointer(platform::MousePointer::Default);
    if (!f.report.empty()) {
        f.display->message(f.report.text());
    }
}

// Closes one object the job opened and lets it go; a failure while closing is swallowed, so that it
// cannot hide the failure that ended the job.
template <typename T, typename Close>
void closeQuietly(std::unique_ptr<T>& object, Close close) noexcept {
    try {
        if (object) {
            close(*object);
        }
    } catch (...) {
    }
    object.reset();
}

// After an orderly stop the job keeps what it did: the output written so far goes to the disk, the
// database commits, and the output takes its name. A failure in any of these is the job's failure.
void keepWhatWasDone(core::RunState& f, JobFiles& files) {
    f.r.reset();
    if (files.file3) {
        files.file3->close();
        files.file3.reset();
    }
    if (f.Bd) {
        checkOutputName(f.NombreBinSalida);
        f.Bd->Close();
        f.Bd.reset();
        files.committed = !files.simulated;
    }
    if (!files.partial.isEmpty()) {
        keepOutput(f.NombreBinSalida, files);
    }
}

// After a failure nothing of the job stays: the database is left as it was before it, and no output
// takes the output's name. Nothing that fails here may hide the first failure.
void undoEverything(core::RunState& f, JobFiles& files) noexcept {
    closeQuietly(f.r, [](platform::Recordset& r) { r.Close(); });
    closeQuietly(f.Bd, [](platform::Database& bd) {
        bd.Rollback();
        bd.Close();
    });
    closeQuietly(files.file3, [](drawing::BinWriter& w) { w.close(); });
    files.discard();
}

void closeAll(core::RunState& f, JobFiles& files, core::RunOutcome& outcome) noexcept {
    if (outcome.kind == core::RunOutcome::Kind::Stopped) {
        const core::RunOutcome keeping = core::guarded([&] { keepWhatWasDone(f, files); });
        if (keeping.kind == core::RunOutcome::Kind::Failed) {
            outcome = keeping;
        }
    }
    if (outcome.kind == core::RunOutcome::Kind::Failed) {
        undoEverything(f, files);
    }
    closeQuietly(files.file1, [](drawing::BinReader& r) { r.close(); });
}

}  // namespace

QString createdMessage(const QString& outputName) {
    return QStringLiteral("Creado el fichero : ") + QChar(13) + outputName;
}

QString simulatedMessage(const QString& outputName) {
    return QStringLiteral("Simulación: no se ha cambiado nada. Se crearía el fichero : ") + QChar(13) +
           outputName;
}

QString waitingMessage(const QString& databaseName) {
    return QStringLiteral("Esperando a que termine otro proceso sobre la base de datos '%1'...")
        .arg(platform::shownDatabaseName(databaseName));
}

core::RunOutcome Command1_Click(core::RunState& f, Mode mode, const RunOptions& options) {
    f.MantenerAsignaciones = mode == Mode::Si;
    if (f.NombreBin.isEmpty() || f.NombreBdD.isEmpty() || f.NombreBinSalida.isEmpty()) {
        return {};
    }
    f.report = core::RunReport{};

    JobCaches caches(f);
    JobFiles files;
    const auto noCheckAfterTheJob = qScopeGuard([&f] { f.beforeCommit = nullptr; });
    files.simulated = options.simulate;
    core::RunOutcome outcome = core::guarded([&] { runJob(f, mode, options, files); });
    if (outcome.kind != core::RunOutcome::Kind::Finished) {
        closeAll(f, files, outcome);
    }
    return outcome;
}

}  // namespace vexilo::app
