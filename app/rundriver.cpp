#include "app/rundriver.h"

#include <memory>

#include "app/core/progress.h"
#include "drawing/binfile.h"
#include "drawing/passes/assignmentpass.h"
#include "drawing/passes/rewritepass.h"
#include "platform/dao.h"
#include "schema/verification.h"

namespace vexilo::app {

namespace {

struct JobFiles {
    std::unique_ptr<drawing::BinReader> fichero1;
    std::unique_ptr<drawing::BinWriter> fichero3;
};

// Every job starts with caches of its own and leaves none behind, however it ends.
class JobCaches {
  public:
    explicit JobCaches(RunState& f) : m_f(f) { m_f.caches = RunCaches{}; }
    ~JobCaches() { m_f.caches = RunCaches{}; }
    JobCaches(const JobCaches&) = delete;
    JobCaches& operator=(const JobCaches&) = delete;

  private:
    RunState& m_f;
};

void openDatabase(RunState& f) {
    f.Wrk = &platform::DBEngine::instance().Workspaces(0);
    f.Bd = f.Wrk->OpenDatabase(f.NombreBdD);
    // The whole job is one transaction: the pass's closing of Bd commits it.
    f.Bd->BeginTrans();
}

void runJob(RunState& f, Modo modo, JobFiles& files) {
    files.fichero1 = std::make_unique<drawing::BinReader>(f.NombreBin);
    f.HoraInicio = secondsOfDay();
    files.fichero3 = std::make_unique<drawing::BinWriter>(f.NombreBinSalida);
    f.display->setPointer(platform::MousePointer::Busy);
    openDatabase(f);

    schema::Chequea_tablas_principales(f);
    schema::chequea_resto_tablas(f);
    schema::chequea_estructura_de_tablas(f);

    if (modo == Modo::ModificarTexto) {
        drawing::LeoBinCambiaTextoBin(f, *files.fichero1, *files.fichero3);
    } else {
        drawing::LeoBinEntrada(f, *files.fichero1, *files.fichero3);
    }

    // A failed flush of the output is a failure of the job, never a success.
    files.fichero3->close();
    files.fichero1->close();
    files.fichero3.reset();
    files.fichero1.reset();

    f.display->setText(Control::Label5, createdMessage(f.NombreBinSalida));
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

// After a stop or a failure: what the job opened is closed. Whatever the database already stored stays
// (closing Bd commits), and so do the elements already written to the output. After a stop the commit
// is the job's last word and its failure is reported; after a failure nothing may hide the first one.
void closeAll(RunState& f, JobFiles& files, RunOutcome& outcome) noexcept {
    closeQuietly(f.r, [](platform::Recordset& r) { r.Close(); });
    if (outcome.kind == RunOutcome::Kind::Stopped && f.Bd) {
        const RunOutcome closing = guarded([&f] { f.Bd->Close(); });
        f.Bd.reset();
        if (closing.kind == RunOutcome::Kind::Failed) {
            outcome = closing;
        }
    }
    closeQuietly(f.Bd, [](platform::Database& bd) { bd.Close(); });
    closeQuietly(files.fichero3, [](drawing::BinWriter& w) { w.close(); });
    closeQuietly(files.fichero1, [](drawing::BinReader& r) { r.close(); });
}

}  // namespace

QString createdMessage(const QString& nombreBinSalida) {
    return QStringLiteral("Creado el fichero : ") + QChar(13) + nombreBinSalida;
}

RunOutcome Command1_Click(RunState& f, Modo modo) {
    f.MantenerAsignaciones = modo == Modo::Si;
    if (f.NombreBin.isEmpty() || f.NombreBdD.isEmpty() || f.NombreBinSalida.isEmpty()) {
        return {};
    }
    f.report = RunReport{};

    JobCaches caches(f);
    JobFiles files;
    RunOutcome outcome = guarded([&] { runJob(f, modo, files); });
    if (outcome.kind != RunOutcome::Kind::Finished) {
        closeAll(f, files, outcome);
    }
    return outcome;
}

}  // namespace vexilo::app
