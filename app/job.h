#pragma once
// One job: its inputs, the database it holds, what it reads and learns (the catalog, the attribute
// indexes and texts, the run log's keys), what it counts, and where it shows itself (the display and the
// observer). The job alone begins, commits and rolls back its transaction, and publishes the drawing it
// wrote. Nothing of it outlives it but the progress shown, which the caller may hand on.

#include <QString>
#include <chrono>
#include <memory>

#include "catalog/attributeindex.h"
#include "catalog/catalogcache.h"
#include "catalog/textreader.h"
#include "core/outcome.h"
#include "core/progress.h"
#include "core/runreport.h"
#include "core/textobserver.h"
#include "drawing/binfile.h"
#include "engines/dao.h"
#include "engines/jobwaitlimit.h"
#include "engines/publication.h"
#include "passes/passview.h"
#include "schema/runlog.h"

namespace vexilo::app {

class JobReport;

// The mode frame: "Sí" and "No" run the assignment pass (keeping or not the graphic assignments),
// "Modificar Texto en Bin" the rewrite pass.
enum class Mode { Si, No, RewriteText };

// What the face that starts a job may choose beyond the window's own controls.
struct RunOptions {
    // How long a job waits for another process's job on the same database before it gives up.
    std::chrono::milliseconds wait = engines::kJobWaitLimit;
    // A dry run: the whole job, checks and pass included, inside its transaction, which is then rolled
    // back (also after a stop); the output is written only to be thrown away, an old file of its name
    // is left as it was, and Label5 says that nothing was created.
    bool simulate = false;
};

// What the database holds of a job once it has run: the whole job, the work done up to a stop, nothing,
// or not known (the commit's answer was lost and the database could not be asked: the next job on it
// settles the job's files either way). A file that could not take its name after the commit does not
// change it: the next job on the database gives it its name.
enum class Kept { Nothing, Whole, UpToAStop, Unknown };

struct JobInputs {
    QString NombreBdD;
    QString NombreBin;
    QString NombreBinSalida;
    Mode mode = Mode::No;
    RunOptions options;
};

class Job {
  public:
    // `display` shows the job and answers whether it must end; `observer`, when given, is told about
    // every carried text element. `PorcentajeAnterior` is the last percentage shown before this job.
    Job(JobInputs inputs, core::Display& display, core::TextObserver* observer = nullptr,
        double PorcentajeAnterior = 0.0);
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Runs the job once: opens the input and the output (under a partial name), notes HoraInicio, shows
    // the busy pointer, opens the database and holds it for the job before its first read (while another
    // process's job holds it, the display's notice says that the job waits, for at most options.wait;
    // past it the job fails with nothing written), begins the job's one transaction, verifies the
    // schema, runs the pass of the mode, commits (or, simulated, rolls back), gives the output its name,
    // writes the completion message to Label5, shows Label1, restores the default pointer and, when the
    // pass passed over elements, shows one message that counts them. An output that is the input or the
    // database itself is refused before anything is opened. On a stop, what was done stays: the output
    // written so far goes to the disk, the database commits, the output takes its name (a failure there
    // turns the outcome into that failure). On any failure the database is rolled back to what it was
    // before the job and no output takes the output's name. The pointer is left as the failing step
    // left it.
    core::RunOutcome run();

    // The job's report is committed with it: made whole before the database commits, recorded with the
    // drawing, and named after the commit (a simulated job's, at its end). Call before run().
    void publishWith(JobReport& report) { m_jobReport = &report; }

    // What the database kept of this job, and whether the output drawing has taken its name; meaningful
    // once run() has returned.
    Kept kept() const;
    bool outputNamed() const { return m_outputNamed; }

    std::int32_t TextosProcesados() const { return m_view.TextosProcesados; }
    const core::RunReport& report() const { return m_report; }
    const core::Progress& progress() const { return m_progress; }

  private:
    struct Files;

    void runSteps();
    void openDatabase();
    void removeLeftovers();
    void verifySchema();
    void runPass();
    void commit(const core::RunOutcome& outcome);
    void settleCommit(const core::RunError& failure);
    void handOverReport();
    void publishReport(QString& notOnDisk);
    void keepOutput(const core::RunOutcome& outcome);
    void keepWhatWasDone(const core::RunOutcome& outcome);
    void undoEverything() noexcept;
    void closeAll(core::RunOutcome& outcome) noexcept;
    void dropDatabase() noexcept;

    const JobInputs m_in;
    core::Display& m_display;
    core::Progress m_progress;
    core::RunReport m_report;
    passes::PassView m_view;
    std::unique_ptr<Files> m_files;
    engines::Publication m_publication;  // what the commit records
    bool m_passStarted = false;          // an orderly stop before the pass leaves an old output as it was
    bool m_stopped = false;              // the job ended at a stop, keeping what it had done
    bool m_outputNamed = false;          // the output drawing has its name
    JobReport* m_jobReport = nullptr;
    QString m_reportPartial;  // where the completed report lies until it takes its name

    // The database, then what is read from it: dropped in the reverse order.
    std::unique_ptr<engines::Database> m_bd;
    catalog::Catalog m_catalog;
    std::unique_ptr<catalog::AttributeIndexes> m_records;
    std::unique_ptr<catalog::AttributeTexts> m_texts;
    std::unique_ptr<schema::RunLog> m_log;
};

}  // namespace vexilo::app
