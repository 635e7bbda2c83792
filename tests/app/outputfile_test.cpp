// The output's name around the commit: a job whose drawing could not take its name never keeps its
// database changes, a drawing written after the commit is never thrown away, and the partial files of
// killed jobs do not stay for ever.
#include "app/outputfile.h"
#include "engines/publication.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

#include "app/fileselection.h"
#include "app/job.h"
#include "app/jobreport.h"
#include "app/rundriver.h"
#include "support/catalogfixture.h"
#include "support/elementbuilder.h"
#include "support/recordingdisplay.h"
#include "support/testservices.h"

namespace vexilo::app {
namespace {

using testing::ElementBuilder;

// A display that lets a test act at a moment of the job: the first progress shown, or the counter's
// caption the pass writes at its end, once the whole output is on the disk and before the job commits.
class StepDisplay : public testing::RecordingDisplay {
  public:
    std::function<void()> onFirstProgress;
    std::function<void()> atPassEnd;
    void setProgress(int value) override {
        RecordingDisplay::setProgress(value);
        if (onFirstProgress) {
            std::exchange(onFirstProgress, nullptr)();
        }
    }
    void setText(core::Control control, const QString& text) override {
        RecordingDisplay::setText(control, text);
        if (control == core::Control::Label2 && text.startsWith(QStringLiteral("Textos Procesados")) &&
            atPassEnd) {
            std::exchange(atPassEnd, nullptr)();
        }
    }
};

int rowCount(const QString& database, const QString& table) {
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(database);
    const int n = static_cast<int>(db->ReadRows(table, {QStringLiteral("mslink")}).size());
    db->Close();
    return n;
}

// A process number that no process has now.
qint64 deadPid() {
    for (qint64 pid = 4000000; pid > 1000; --pid) {
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            return pid;
        }
    }
    return -1;
}

class OutputNameTest : public ::testing::Test {
  protected:
    OutputNameTest() {
        testing::CatalogTables t;
        t.msCatalog = {{"CALLES", 7}};
        t.feature = {{123, "CALLES"}};
        t.attributeTables = {"CALLES"};
        testing::createCatalogDatabase(path("b.sqlite"), t);
        testing::writeFile(path("mapa.bin"),
                           testing::concat({ElementBuilder::t().codigoNul("123").texto("CALLE MAYOR"),
                                            ElementBuilder::c().records(2)}));
        session.NombreBdD = path("b.sqlite");
        session.NombreBin = path("mapa.bin");
        session.NombreBinSalida = outputNameOf(session.NombreBin);
    }
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    QStringList partials() const {
        return QDir(dir.path()).entryList({QStringLiteral("mapa_s.bin.parcial-*")}, QDir::Files);
    }

    QTemporaryDir dir;
    testing::TestServices services;
    desktop::ScopedServices installed{services};
    StepDisplay display;
    Session session;
};

TEST_F(OutputNameTest, AFolderThatHoldsTheOutputsNameIsRefusedBeforeAnythingIsWritten) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("mapa_s.bin")));
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    EXPECT_TRUE(outcome.description.contains(QStringLiteral("una carpeta")))
        << outcome.description.toStdString();
    EXPECT_EQ(rowCount(path("b.sqlite"), QStringLiteral("CONTROLPROCESO")), 0);
    EXPECT_TRUE(partials().isEmpty());
}

TEST_F(OutputNameTest, AFolderThatTakesTheNameDuringTheJobUndoesItBeforeTheCommit) {
    display.onFirstProgress = [&] { QDir(dir.path()).mkdir(QStringLiteral("mapa_s.bin")); };
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    EXPECT_TRUE(outcome.description.contains(QStringLiteral("una carpeta")))
        << outcome.description.toStdString();
    EXPECT_EQ(rowCount(path("b.sqlite"), QStringLiteral("CALLES")), 0);
    EXPECT_EQ(rowCount(path("b.sqlite"), QStringLiteral("CONTROLPROCESO")), 0);
    EXPECT_TRUE(partials().isEmpty());
}

// After the commit the drawing is the only record of what the job did to the elements: it stays, and
// the message says the database was updated and where the drawing is. The job shows nothing between its
// commit and the renaming of its output, so the renaming is made to fail from the end of the pass, in a
// way the check of the output's name before the commit cannot see: the partial file's name is given to a
// link that leads nowhere, and the drawing the job wrote is kept aside under another name.
// The drawing must still be there to be read before the commit, for the record of its publication: a
// drawing that is not there any more keeps the database as it was, and the message says why.
TEST_F(OutputNameTest, ADrawingThatCannotBeReadBackBeforeTheCommitKeepsNothing) {
    QString partial;
    display.atPassEnd = [&] {
        ASSERT_EQ(partials().size(), 1);
        partial = dir.filePath(partials().front());
        ASSERT_TRUE(QFile::remove(partial));
        ASSERT_TRUE(QFile::link(path("ninguno"), partial));
    };
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    ASSERT_FALSE(partial.isEmpty());
    EXPECT_EQ(rowCount(path("b.sqlite"), QStringLiteral("CONTROLPROCESO")), 0);
    EXPECT_TRUE(outcome.description.contains(QStringLiteral("No se puede leer el dibujo de salida")))
        << outcome.description.toStdString();
    EXPECT_TRUE(outcome.description.contains(partial)) << outcome.description.toStdString();
    EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
}

// A drawing cut short after the job wrote it is not what the job wrote: nothing is kept, rather than a
// torn drawing recorded, and later published, as whole.
TEST_F(OutputNameTest, ADrawingCutShortBeforeTheCommitKeepsNothing) {
    display.atPassEnd = [&] {
        ASSERT_EQ(partials().size(), 1);
        const QString partial = dir.filePath(partials().front());
        ASSERT_TRUE(QFile::resize(partial, QFileInfo(partial).size() - 1));
    };
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    EXPECT_EQ(rowCount(path("b.sqlite"), QStringLiteral("CONTROLPROCESO")), 0);
    EXPECT_TRUE(outcome.description.contains(QStringLiteral("No se puede leer el dibujo de salida")))
        << outcome.description.toStdString();
    EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
}

// A job killed between its commit and the drawing's rename leaves the record of the publication in the
// database: the next job first gives the drawing its name, then runs on the database as the first job
// left it, and leaves no record behind.
TEST_F(OutputNameTest, ARecordedPublicationIsFinishedByTheNextJob) {
    ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
    const QString written = path("mapa_s.bin");
    const QString orphan = path("mapa_s.bin.parcial-") + QString::number(deadPid());
    ASSERT_TRUE(QFile::rename(written, orphan));
    {
        auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path("b.sqlite"));
        db->BeginTrans();
        engines::recordPublications(*db, {{orphan, written, *engines::fileSum(orphan)}});
        db->CommitTrans();
        db->Close();
    }
    const testing::Bytes whole = testing::readFile(orphan);
    session.NombreBin = path("otro.bin");  // a job on another drawing of the same database
    session.NombreBinSalida = outputNameOf(session.NombreBin);
    testing::writeFile(session.NombreBin, testing::readFile(path("mapa.bin")));
    ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
    EXPECT_FALSE(QFile::exists(orphan));
    EXPECT_EQ(testing::readFile(written), whole);
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path("b.sqlite"));
    EXPECT_TRUE(engines::recordedPublications(*db).empty());
    db->Close();
}

TEST_F(OutputNameTest, TheNextJobRemovesThePartialFilesOfProcessesThatNoLongerRun) {
    const qint64 dead = deadPid();
    ASSERT_GT(dead, 0);
    const QString deadPartial = path("mapa_s.bin.parcial-") + QString::number(dead);
    const QString livePartial = path("mapa_s.bin.parcial-1");  // init runs as long as the machine
    const QString otherFile = path("mapa_s.bin.parcial-notas");
    for (const QString& p : {deadPartial, livePartial, otherFile}) {
        testing::writeFile(p, testing::Bytes(64, 0x41));
    }
    ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
    EXPECT_FALSE(QFile::exists(deadPartial));
    EXPECT_TRUE(QFile::exists(livePartial));
    EXPECT_TRUE(QFile::exists(otherFile));
    EXPECT_TRUE(QFile::exists(path("mapa_s.bin")));
}

// A job with a report, on the drawing `bin` of the test's database.
core::RunOutcome jobWithReport(const QString& database, const QString& bin, const QString& report,
                               core::Display& display) {
    const JobInputs in{database, bin, outputNameOf(bin), Mode::No, {}};
    JobReport written(report, JobReportHead{in.NombreBdD, in.NombreBin, in.NombreBinSalida, in.mode, false});
    Job job(in, display, &written);
    job.publishWith(written);
    return job.run();
}

// A job killed between its commit and its report's rename leaves the report whole under its partial
// name, which the committed record names. Until a job has opened the database and finished that
// publication, the file is no dead process's leftover: a job with the same report that fails before it
// opens the database (its drawing is missing) leaves it, and the next job gives it its name.
TEST_F(OutputNameTest, ARecordedReportOutlivesAJobThatFailsBeforeOpeningTheDatabase) {
    const QString report = path("informe.json");
    const QString orphan = report + QStringLiteral(".parcial-") + QString::number(deadPid());
    const testing::Bytes whole(300, 0x7b);
    testing::writeFile(orphan, whole);
    {
        auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path("b.sqlite"));
        db->BeginTrans();
        engines::recordPublications(*db, {{orphan, report, *engines::fileSum(orphan)}});
        db->CommitTrans();
        db->Close();
    }
    EXPECT_EQ(jobWithReport(path("b.sqlite"), path("falta.bin"), report, display).kind,
              core::RunOutcome::Kind::Failed);
    EXPECT_TRUE(QFile::exists(orphan));

    ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
    EXPECT_EQ(testing::readFile(report), whole);
    EXPECT_FALSE(QFile::exists(orphan));
}

// The partial report of a process that no longer runs, which no record names, goes with the next job
// that writes a report of that name; the job's own report takes the name.
TEST_F(OutputNameTest, AJobWithAReportRemovesTheDeadPartialReportsNoRecordNames) {
    const QString report = path("informe.json");
    const QString dead = report + QStringLiteral(".parcial-") + QString::number(deadPid());
    testing::writeFile(dead, testing::Bytes(40, 0x7b));
    ASSERT_EQ(jobWithReport(path("b.sqlite"), path("mapa.bin"), report, display).kind,
              core::RunOutcome::Kind::Finished);
    EXPECT_FALSE(QFile::exists(dead));
    EXPECT_TRUE(testing::readFile(report).size() > 40);
}

}  // namespace
}  // namespace vexilo::app
