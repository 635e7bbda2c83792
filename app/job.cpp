#include "app/job.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/fileselection.h"
#include "app/jobreport.h"
#include "app/outputfile.h"
#include "app/rundriver.h"
#include "desktop/services.h"
#include "engines/databasename.h"
#include "engines/publication.h"
#include "engines/publish.h"
#include "engines/replacement.h"
#include "passes/assignmentpass.h"
#include "passes/rewritepass.h"
#include "schema/verification.h"

namespace vexilo::app {

// The output is written under a name of its own beside the final one (engines::partialName) and takes
// the final name only at the end, after the database has committed: a job that fails, or is killed, never
// leaves a drawing under the output's name that looks whole. The name is this process's own: another job
// on the same drawing, waiting meanwhile for the database, must not cut short the file this one is writing.
struct Job::Files {
    std::unique_ptr<drawing::BinReader> file1;
    std::unique_ptr<drawing::BinWriter> file3;
    QString partial;  // where file 3 is being written
    // What file 3 holds once it is closed, counted as it was written: the publication's checksum.
    std::optional<engines::FileSum> written;
    bool committed = false;  // the database holds the job's changes: the written drawing must stay
    bool unsettled = false;  // whether the database committed is not known: the next job settles it

    // The written output takes its name (replacing an old one at once, never leaving none).
    void publish(const QString& outputName) {
        engines::publishFile(partial, outputName);
        partial.clear();
    }
    // Puts the output on the disk and closes it; what it holds is then known.
    void closeOutput() {
        file3->close();
        const drawing::BinWriter::Written sum = file3->written();
        written = engines::FileSum{sum.size, sum.crc};
        file3.reset();
    }
    void discard() {
        if (!partial.isEmpty() && !committed && !unsettled) {
            QFile::remove(partial);
            partial.clear();
        }
    }
};

namespace {

// `written` when the file at `path` can still be opened for reading and holds that many bytes.
std::optional<engines::FileSum> writtenAndThere(const QString& path, const engines::FileSum& written) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != written.size) {
        return std::nullopt;
    }
    return written;
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

// A reason as a sentence of its own, for a message that goes on after it.
QString sentence(const QString& reason) {
    return reason.endsWith(QLatin1Char('.')) ? reason : reason + QLatin1Char('.');
}

}  // namespace

Job::Job(JobInputs inputs, core::Display& display, core::TextObserver* observer, double PorcentajeAnterior)
    : m_in(std::move(inputs)),
      m_display(display),
      m_progress{&display, 0, PorcentajeAnterior, &desktop::services().clock()},
      m_view{m_progress, m_report, observer},
      m_files(std::make_unique<Files>()) {}

Job::~Job() {
    dropDatabase();
}

core::RunOutcome Job::run() {
    core::RunOutcome outcome = core::guarded([this] { runSteps(); });
    if (outcome.kind != core::RunOutcome::Kind::Finished) {
        closeAll(outcome);
    }
    return outcome;
}

void Job::runSteps() {
    refuseOutputOverInputs(m_in.NombreBinSalida, m_in.NombreBin, m_in.NombreBdD);
    checkOutputName(m_in.NombreBinSalida);
    m_files->file1 = std::make_unique<drawing::BinReader>(m_in.NombreBin);
    m_progress.HoraInicio = core::secondsOfDay(*m_progress.clock);
    m_files->partial = engines::partialName(m_in.NombreBinSalida);
    m_files->file3 = std::make_unique<drawing::BinWriter>(m_files->partial);
    m_display.setPointer(core::MousePointer::Busy);
    openDatabase();
    // Opening the database finishes what a killed job or sample left to publish, which may have given the
    // input drawing its name since it was opened: the job reads the file that has the name now.
    m_files->file1 = std::make_unique<drawing::BinReader>(m_in.NombreBin);
    removeLeftovers();
    verifySchema();
    runPass();

    // The pass has put the output on the disk; once the database has committed, a failure is a failure
    // of the job, never a success, and the written drawing stays.
    m_files->closeOutput();
    m_files->file1->close();
    m_files->file1.reset();
    const core::RunOutcome finished{core::RunOutcome::Kind::Finished, {}, core::Icon::None, 0, {}, {}};
    commit(finished);
    keepOutput(finished);

    const bool simulated = m_in.options.simulate;
    m_display.setText(core::Control::Label5, simulated ? simulatedMessage(m_in.NombreBinSalida)
                                                       : createdMessage(m_in.NombreBinSalida));
    m_display.setFinishedVisible(true);
    m_display.setPointer(core::MousePointer::Default);
    if (!m_report.empty()) {
        m_display.message(m_report.text());
    }
}

// The database is the job's alone from its first read to its end: two jobs on one database run one
// after the other, the second on the first one's results. The whole job is one transaction.
void Job::openDatabase() {
    // The notices outlive this call: every later wait of the job's statements gives them too, maybe from
    // another thread (the engine's watchdog).
    core::Display* display = &m_display;
    engines::JobWaitOptions wait;
    wait.limit = m_in.options.wait;
    wait.onWait = [display](const QString& database) { display->notice(waitingMessage(database)); };
    wait.onWaitOver = [display](const QString&) { display->notice(QString()); };
    wait.interrupted = [display] { return display->interrupted(); };
    m_bd = engines::openHeld(m_in.NombreBdD, wait);
    // The pass decides every write from its own indexes: the engine may write while it goes on.
    m_bd->DeferWrites();
    m_bd->BeginTrans();
}

void Job::verifySchema() {
    schema::Chequea_tablas_principales(*m_bd, m_display, m_catalog);
    schema::chequea_resto_tablas(*m_bd, m_display, m_catalog);
    schema::chequea_estructura_de_tablas(*m_bd, m_display, m_catalog);
}

void Job::runPass() {
    m_passStarted = true;
    if (m_in.mode == Mode::RewriteText) {
        m_bd->ReadsOnce();
        m_texts = std::make_unique<catalog::AttributeTexts>(*m_bd);
        passes::LeoBinCambiaTextoBin(m_catalog, *m_texts, m_view, *m_files->file1, *m_files->file3);
        return;
    }
    m_records = std::make_unique<catalog::AttributeIndexes>(*m_bd);
    m_log = std::make_unique<schema::RunLog>(*m_bd, *m_progress.clock);
    const passes::AssignmentInputs in{m_catalog,      *m_records,           *m_log,
                                      m_in.NombreBin, m_in.NombreBinSalida, m_in.mode == Mode::Si};
    passes::LeoBinEntrada(in, m_view, *m_files->file1, *m_files->file3);
}

// What killed jobs left beside the output and the report: a publication that a job recorded and
// committed is finished when the database is opened (engines::openHeld); partial files of dead processes
// that no record names any more go.
void Job::removeLeftovers() {
    std::vector<QString> recorded;
    for (const engines::Publication& p : engines::recordedPublications(*m_bd)) {
        recorded.push_back(p.partial);
    }
    engines::removeDeadPartials(m_in.NombreBinSalida, recorded);
    if (m_jobReport != nullptr) {
        engines::removeDeadPartials(QFileInfo(m_jobReport->path()).absoluteFilePath(), recorded);
    }
}

// Ends the job's transaction: kept, unless the job is only simulated. The output, whole and on the disk
// under its partial name, must still be able to take its name: the database never keeps a job whose
// drawing cannot be published. The transaction records the publication, so that the database and the
// drawing are committed as one: if the job dies after the commit, whoever opens the database next gives
// the drawing its name.
void Job::commit(const core::RunOutcome& outcome) {
    if (m_in.options.simulate) {
        m_bd->Rollback();
        return;
    }
    // The record holds full paths: the next job, which finishes the publication, may run elsewhere.
    std::vector<engines::Publication> files;
    if (!m_files->partial.isEmpty()) {
        checkOutputName(m_in.NombreBinSalida);
        // Summed as the bytes were written (reading a drawing of a hundred megabytes back only to sum it
        // cost a tenth of a text rewrite); the file must still be there to be read, whole.
        const std::optional<engines::FileSum> sum = m_files->written
                                                        ? writtenAndThere(m_files->partial, *m_files->written)
                                                        : engines::fileSum(m_files->partial);
        if (!sum) {
            throw core::RunError(core::errnum::kFileAccess,
                                 QStringLiteral("No se puede leer el dibujo de salida escrito en %1.")
                                     .arg(QDir::toNativeSeparators(m_files->partial)));
        }
        m_publication = {QFileInfo(m_files->partial).absoluteFilePath(),
                         QFileInfo(m_in.NombreBinSalida).absoluteFilePath(), *sum};
        files.push_back(m_publication);
    }
    if (m_jobReport != nullptr) {
        m_reportPartial = m_jobReport->complete(outcome, TextosProcesados());
        if (!m_reportPartial.isEmpty()) {
            files.push_back({QFileInfo(m_reportPartial).absoluteFilePath(),
                             QFileInfo(m_jobReport->path()).absoluteFilePath(),
                             engines::fileSum(m_reportPartial).value_or(engines::FileSum{})});
        }
    }
    if (!files.empty()) {
        engines::recordPublications(*m_bd, files);
    }
    try {
        m_bd->CommitTrans();
    } catch (const core::RunError& e) {
        settleCommit(e);
    }
    m_files->committed = true;
    handOverReport();
}

// Once a committed record names the report's partial file (or may name it), the file is the
// publication's: the report no longer throws it away, whatever happens to the job after.
void Job::handOverReport() {
    if (!m_reportPartial.isEmpty()) {
        m_jobReport->published();
    }
}

// The commit failed, or its answer was lost: whether it took effect is asked of the database itself, on a
// connection of its own, by looking for this job's record. Committed: the job goes on to publish. Not
// committed: the job failed with nothing kept. Not known (the database cannot be asked): the drawing stays
// under its partial name for the next job to settle, and the message says so.
void Job::settleCommit(const core::RunError& failure) {
    dropDatabase();
    std::vector<engines::Publication> recorded;
    try {
        m_bd = engines::DBEngine::instance().Workspaces(0).OpenDatabase(m_in.NombreBdD);
        recorded = engines::recordedPublications(*m_bd);
    } catch (const core::RunError& e) {
        m_files->unsettled = true;
        handOverReport();
        throw core::RunError(
            failure.number(),
            QStringLiteral("No se sabe si la base de datos %1 ha guardado los cambios de este trabajo: al "
                           "confirmarlos, %2; al preguntarlo después, %3. El dibujo de salida se queda en "
                           "%4: el próximo trabajo sobre esta base de datos le dará su nombre si los cambios "
                           "se guardaron, y lo borrará si no.")
                .arg(engines::shownDatabaseName(m_in.NombreBdD), failure.description(), e.description(),
                     QDir::toNativeSeparators(m_files->partial)));
    }
    for (const engines::Publication& p : recorded) {
        if (p.partial == m_publication.partial) {
            return;  // the commit took effect
        }
    }
    throw core::RunError(failure.number(),
                         QStringLiteral("La base de datos no ha guardado los cambios de este trabajo: %1 "
                                        "No se ha cambiado nada.")
                             .arg(sentence(failure.description())));
}

// What a job that ends well or stops does with its output: publishes it, or throws a simulation's away.
// Once the database has committed, the drawing must not be lost: when it cannot take its name, the
// message says that the database was updated and where the drawing and the report are.
// Once the files have their names on the disk, the record of the publication goes (a record left behind,
// when that fails, names files that have their names already: the next job only drops it). A name that
// could not be put on the disk keeps the record: should the system lose the name, the next job gives it
// again.
void Job::keepOutput(const core::RunOutcome& outcome) {
    if (m_in.options.simulate) {
        m_files->discard();
        dropDatabase();
        if (m_jobReport != nullptr) {
            m_jobReport->finish(outcome,
                                TextosProcesados());  // a simulation's report is that of the real job
        }
        return;
    }
    const QString partial = m_files->partial;
    QString notOnDisk;  // why a name given could not be put on the disk
    try {
        if (!partial.isEmpty()) {
            m_files->publish(m_in.NombreBinSalida);
            m_outputNamed = true;
        }
    } catch (const engines::NameNotOnDisk& e) {
        m_outputNamed = true;
        notOnDisk = e.reason();
    } catch (const core::RunError& e) {
        const QString where =
            m_reportPartial.isEmpty()
                ? QStringLiteral(
                      "El dibujo está en %1; el próximo trabajo sobre esta base de datos le dará "
                      "su nombre.")
                      .arg(QDir::toNativeSeparators(partial))
                : QStringLiteral(
                      "El dibujo está en %1 y el informe en %2; el próximo trabajo sobre esta base "
                      "de datos les dará su nombre.")
                      .arg(QDir::toNativeSeparators(partial), QDir::toNativeSeparators(m_reportPartial));
        throw core::RunError(e.number(),
                             QStringLiteral("La base de datos ya tiene los cambios de este trabajo, "
                                            "pero el dibujo de salida no ha podido tomar su "
                                            "nombre: %1 %2")
                                 .arg(sentence(e.description()), where));
    }
    const QString report = m_reportPartial.isEmpty() ? QString() : m_jobReport->path();
    publishReport(notOnDisk);
    if (!notOnDisk.isEmpty()) {
        const QString names =
            report.isEmpty()
                ? QStringLiteral(
                      "el dibujo de salida tiene su nombre, %1, pero el sistema no "
                      "ha podido asegurar ese nombre")
                      .arg(QDir::toNativeSeparators(m_in.NombreBinSalida))
                : QStringLiteral(
                      "el dibujo de salida y el informe tienen su nombre, %1 y %2, "
                      "pero el sistema no ha podido asegurar esos nombres")
                      .arg(QDir::toNativeSeparators(m_in.NombreBinSalida), QDir::toNativeSeparators(report));
        throw core::RunError(
            core::errnum::kFileAccess,
            QStringLiteral("La base de datos ya tiene los cambios de este trabajo y %1 en el "
                           "disco: %2.")
                .arg(names, notOnDisk));
    }
    try {
        if (m_bd) {
            engines::clearPublications(*m_bd);
        }
    } catch (const core::RunError&) {
    }
    dropDatabase();
}

// The completed report takes its name after the drawing; when it cannot, the message says where it is.
// A name that it took but that could not be put on the disk is told through `notOnDisk`.
void Job::publishReport(QString& notOnDisk) {
    if (m_reportPartial.isEmpty()) {
        return;
    }
    try {
        engines::publishFile(m_reportPartial, m_jobReport->path());
    } catch (const engines::NameNotOnDisk& e) {
        if (notOnDisk.isEmpty()) {
            notOnDisk = e.reason();
        }
    } catch (const core::RunError& e) {
        throw core::RunError(
            e.number(),
            QStringLiteral(
                "La base de datos y el dibujo de salida tienen los cambios de este trabajo, pero el "
                "informe no ha podido tomar su nombre: %1 El informe está en %2; el próximo trabajo "
                "sobre esta base de datos le dará su nombre.")
                .arg(sentence(e.description()), QDir::toNativeSeparators(m_reportPartial)));
    }
    m_jobReport->published();
    m_reportPartial.clear();
}

// After an orderly stop the job keeps what it did: the output written so far goes to the disk, the
// database commits, and the output takes its name. A failure in any of these is the job's failure.
void Job::keepWhatWasDone(const core::RunOutcome& outcome) {
    if (m_files->file3) {
        m_files->closeOutput();
    }
    if (!m_passStarted) {
        m_files->discard();  // no element was written: an old output stays as it was
    }
    if (m_bd) {
        commit(outcome);
    }
    keepOutput(outcome);
    dropDatabase();
}

// After a failure nothing of the job stays: the database is left as it was before it, and no output
// takes the output's name. Nothing that fails here may hide the first failure.
void Job::undoEverything() noexcept {
    try {
        if (m_bd) {
            m_bd->Rollback();
        }
    } catch (...) {
    }
    dropDatabase();
    closeQuietly(m_files->file3, [](drawing::BinWriter& w) { w.close(); });
    m_files->discard();
}

void Job::closeAll(core::RunOutcome& outcome) noexcept {
    if (outcome.kind == core::RunOutcome::Kind::Stopped) {
        m_stopped = true;
        const core::RunOutcome keeping = core::guarded([this, &outcome] { keepWhatWasDone(outcome); });
        if (keeping.kind == core::RunOutcome::Kind::Failed) {
            outcome = keeping;
        }
    }
    if (outcome.kind == core::RunOutcome::Kind::Failed) {
        undoEverything();
    }
    closeQuietly(m_files->file1, [](drawing::BinReader& r) { r.close(); });
}

Kept Job::kept() const {
    if (m_files->unsettled) {
        return Kept::Unknown;
    }
    if (!m_files->committed) {
        return Kept::Nothing;
    }
    return m_stopped ? Kept::UpToAStop : Kept::Whole;
}

// What was read from the database goes before the database closes; a failure while closing is
// swallowed (the transaction has ended, or a failure is already being reported).
void Job::dropDatabase() noexcept {
    m_log.reset();
    m_texts.reset();
    m_records.reset();
    closeQuietly(m_bd, [](engines::Database& bd) { bd.Close(); });
}

}  // namespace vexilo::app
