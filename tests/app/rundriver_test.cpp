#include "app/rundriver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>

#include "app/fileselection.h"
#include "support/catalogfixture.h"
#include "support/dbdump.h"
#include "support/elementbuilder.h"
#include "support/recordingdisplay.h"
#include "support/testservices.h"

namespace vexilo::app {
namespace {

using testing::Bytes;
using testing::ElementBuilder;
using testing::RecordingDisplay;
using testing::TestServices;

Bytes drawing() {
    return testing::concat(
        {ElementBuilder::c().records(2).seed(3), ElementBuilder::t().texto("CALLE MAYOR").seed(9),
         ElementBuilder::tipo('C', ' ').records(1).seed(20), ElementBuilder::c().seed(30)});
}

class RunDriverTest : public ::testing::Test {
  protected:
    RunDriverTest() {
        services.clockSeam.seconds = 43210.4;
        testing::createCatalogDatabase(path("particular.sqlite"));
        testing::writeFile(path("mapa.bin"), drawing());
    }

    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    // A partial output of any job left in the folder.
    bool hasPartialOutput() const {
        return !QDir(dir.path()).entryList({QStringLiteral("mapa_s.bin.parcial*")}, QDir::Files).isEmpty();
    }
    void chooseAll() {
        session.NombreBdD = path("particular.sqlite");
        session.NombreBin = path("mapa.bin");
        session.NombreBinSalida = outputNameOf(session.NombreBin);
    }
    // A job on the session's names, run directly where a test reads what the job counted.
    JobInputs inputs(Mode mode, const RunOptions& options = {}) const {
        return {session.NombreBdD, session.NombreBin, session.NombreBinSalida, mode, options};
    }

    QTemporaryDir dir;
    TestServices services;
    desktop::ScopedServices installed{services};
    RecordingDisplay display;
    Session session;
};

// Whether another job could take the database now (it is free once the last job has closed it).
bool databaseIsFree(const QString& database) {
    try {
        engines::OpenDatabaseForJob(engines::DBEngine::instance().Workspaces(0), database,
                                    std::chrono::milliseconds(0), {})
            ->Close();
        return true;
    } catch (const core::RunError& e) {
        if (e.number() == engines::errnum::kHeldByAnother) {
            return false;
        }
        throw;
    }
}

TEST_F(RunDriverTest, MissingNameIgnoresThePressButStillNotesTheMode) {
    for (int missing = 0; missing < 3; ++missing) {
        SCOPED_TRACE(missing);
        chooseAll();
        QString* names[] = {&session.NombreBdD, &session.NombreBin, &session.NombreBinSalida};
        names[missing]->clear();
        session.MantenerAsignaciones = false;
        session.PorcentajeAnterior = 40;
        EXPECT_EQ(Command1_Click(session, display, Mode::Si).kind, core::RunOutcome::Kind::Ignored);
        EXPECT_TRUE(session.MantenerAsignaciones);
        EXPECT_EQ(session.PorcentajeAnterior, 40);
        EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
        EXPECT_TRUE(display.pointers.empty());
        EXPECT_TRUE(display.messages.empty());
        EXPECT_TRUE(display.texts.empty());
    }
}

TEST_F(RunDriverTest, RunWritesTheOutputAndShowsTheCompletion) {
    chooseAll();
    Job job(inputs(Mode::No), display);
    const core::RunOutcome outcome = job.run();
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Finished) << outcome.description.toStdString();

    const auto out = testing::parseFile(path("mapa_s.bin"));
    ASSERT_EQ(out.size(), 3u);  // the element not marked as carried is dropped
    EXPECT_EQ(out[1].texto(), "CALLE MAYOR");
    EXPECT_EQ(display.text(core::Control::Label5),
              QStringLiteral("Creado el fichero : ") + QChar(13) + path("mapa_s.bin"));
    EXPECT_FALSE(display.text(core::Control::Label5).contains(QChar(10)));
    EXPECT_TRUE(display.finishedVisible);
    EXPECT_EQ(display.pointers,
              (std::vector<core::MousePointer>{core::MousePointer::Busy, core::MousePointer::Default}));
    EXPECT_EQ(display.progress.back(), 100);
    EXPECT_EQ(job.progress().HoraInicio, 43210);
    EXPECT_TRUE(databaseIsFree(session.NombreBdD)) << "the job has closed its database";
    EXPECT_TRUE(display.messages.empty());
}

// The window's session gives a job the last percentage shown and takes back the job's own: a job that
// starts at the percentage where the last one ended does not show it again.
TEST_F(RunDriverTest, TheSessionHandsTheLastPercentageShownFromOneJobToTheNext) {
    testing::writeFile(path("mapa.bin"), ElementBuilder::t().texto("CALLE MAYOR").bytes());  // 100 % at once
    chooseAll();
    ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
    EXPECT_EQ(display.progress, std::vector<int>{100});
    EXPECT_EQ(session.PorcentajeAnterior, 100);
    ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
    EXPECT_EQ(display.progress, std::vector<int>{100}) << "the second job showed 100 % again";
    EXPECT_EQ(session.PorcentajeAnterior, 100);
}

TEST_F(RunDriverTest, ModeDecidesMantenerAsignaciones) {
    chooseAll();
    const std::pair<Mode, bool> cases[] = {{Mode::Si, true}, {Mode::No, false}, {Mode::RewriteText, false}};
    for (auto [mode, keep] : cases) {
        EXPECT_EQ(Command1_Click(session, display, mode).kind, core::RunOutcome::Kind::Finished);
        EXPECT_EQ(session.MantenerAsignaciones, keep);
    }
}

// A catalog with one attribute table, and a drawing of two texts linked to records the table does not
// hold: the rewrite pass passes over both.
void writeTwoTextsOfMissingRecords(const QString& database, const QString& drawingFile) {
    QFile::remove(database);
    testing::CatalogTables tables;
    tables.msCatalog = {{QStringLiteral("CALLES"), 7}};
    tables.attributeTables = {QStringLiteral("CALLES")};
    testing::createCatalogDatabase(database, tables);
    testing::writeFile(drawingFile, testing::concat({ElementBuilder::t().texto("UNO").link(7, 99).seed(2),
                                                     ElementBuilder::t().texto("DOS").link(7, 98).seed(4)}));
}

TEST_F(RunDriverTest, ElementsPassedOverAreCountedInOneMessageAfterTheCompletion) {
    writeTwoTextsOfMissingRecords(path("particular.sqlite"), path("mapa.bin"));
    chooseAll();
    Job job(inputs(Mode::RewriteText), display);
    ASSERT_EQ(job.run().kind, core::RunOutcome::Kind::Finished);
    EXPECT_EQ(job.report()[core::PassedOver::MissingRecord], 2);
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(display.messages[0].text, job.report().text());
    EXPECT_TRUE(display.messages[0].text.contains(QStringLiteral("2")));
    EXPECT_TRUE(display.finishedVisible);
}

// The window's next job, on a drawing with nothing to pass over, counts nothing and shows no message.
TEST_F(RunDriverTest, WhatAnEarlierJobPassedOverIsNeitherCountedNorShownAgain) {
    writeTwoTextsOfMissingRecords(path("particular.sqlite"), path("mapa.bin"));
    chooseAll();
    ASSERT_EQ(Command1_Click(session, display, Mode::RewriteText).kind, core::RunOutcome::Kind::Finished);
    ASSERT_EQ(display.messages.size(), 1u);

    testing::writeFile(path("mapa.bin"), drawing());
    Job next(inputs(Mode::RewriteText), display, nullptr, session.PorcentajeAnterior);
    ASSERT_EQ(next.run().kind, core::RunOutcome::Kind::Finished);
    EXPECT_TRUE(next.report().empty());
    EXPECT_EQ(next.report()[core::PassedOver::MissingRecord], 0);
    EXPECT_EQ(display.messages.size(), 1u);
}

TEST_F(RunDriverTest, OldLongerOutputLeavesNoStaleBytes) {
    chooseAll();
    const Bytes once = drawing();
    Bytes longer = once;
    longer.insert(longer.end(), once.begin(), once.end());
    testing::writeFile(path("mapa_s.bin"), longer);
    ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
    EXPECT_EQ(testing::parseFile(path("mapa_s.bin")).size(), 3u);
    EXPECT_LT(QFileInfo(path("mapa_s.bin")).size(), static_cast<qint64>(drawing().size()));
}

TEST_F(RunDriverTest, SecondRunUsesTheSameNamesAndKeepsTheFinishedLabelShown) {
    chooseAll();
    ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
    display.finishedVisible = true;
    const auto label5Writes = display.textWrites[core::Control::Label5];
    ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
    EXPECT_EQ(display.textWrites[core::Control::Label5], label5Writes + 1);  // written once, at the end
    EXPECT_EQ(testing::parseFile(path("mapa_s.bin")).size(), 3u);
}

// Two databases with the same attribute table, each holding the text under its own number: each job
// must link the text to its own database's record, never to what the previous job read.
TEST_F(RunDriverTest, EachJobReadsItsOwnDatabaseNotTheCachesOfTheLastOne) {
    testing::CatalogTables t;
    t.msCatalog = {{"CALLES", 7}};
    t.feature = {{123, "CALLES"}};
    t.attributeTables = {"CALLES"};
    const std::pair<const char*, int> databases[] = {{"a.sqlite", 41}, {"b.sqlite", 42}};
    for (const auto& [name, mslink] : databases) {
        testing::createCatalogDatabase(path(name), t);
        auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path(name));
        db->InsertRow("CALLES", {{"mslink", mslink}, {"tmapa", "CALLE MAYOR"}, {"tfeature", 123}});
        db->Close();
    }
    testing::writeFile(path("mapa.bin"), ElementBuilder::t().codigoNul("123").texto("CALLE MAYOR").bytes());
    for (const auto& [name, mslink] : databases) {
        SCOPED_TRACE(name);
        chooseAll();
        session.NombreBdD = path(name);
        ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
        const auto out = testing::parseFile(path("mapa_s.bin"));
        ASSERT_EQ(out.size(), 1u);
        ASSERT_EQ(out[0].links.size(), 1u);
        EXPECT_EQ(out[0].links[0].entitynum, 7);
        EXPECT_EQ(out[0].links[0].mslink, mslink);
    }
}

TEST_F(RunDriverTest, DamagedDrawingStopsWithTheCriticalMessageAndClosesEverything) {
    Bytes cut = drawing();
    cut.resize(cut.size() - 5);  // ends inside the last element
    testing::writeFile(path("mapa.bin"), cut);
    chooseAll();
    Job job(inputs(Mode::No), display);
    const core::RunOutcome outcome = job.run();
    EXPECT_EQ(outcome.kind, core::RunOutcome::Kind::Stopped);
    EXPECT_EQ(outcome.message, QStringLiteral("Fichero Corrupto"));
    EXPECT_EQ(outcome.icon, core::Icon::Critical);
    EXPECT_TRUE(databaseIsFree(session.NombreBdD)) << "the job has closed its database";
    EXPECT_FALSE(display.finishedVisible);
    // The elements written before the damage stay in the output, flushed by the close.
    EXPECT_GT(QFileInfo(path("mapa_s.bin")).size(), 0);
}

testing::CatalogTables streetCatalog() {
    testing::CatalogTables t;
    t.msCatalog = {{"CALLES", 7}};
    t.feature = {{123, "CALLES"}};
    t.attributeTables = {"CALLES"};
    return t;
}

int rowCount(const QString& database, const QString& table) {
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(database);
    const int n = static_cast<int>(db->ReadRows(table, {QStringLiteral("mslink")}).size());
    db->Close();
    return n;
}

// The engine refuses the second text (longer than tmapa takes) after the first was assigned and logged:
// the whole job is undone, the database holds nothing of it, and no output takes the output's name.
TEST_F(RunDriverTest, FailureHalfwayLeavesTheDatabaseAsBeforeAndNoOutput) {
    testing::createCatalogDatabase(path("b.sqlite"), streetCatalog());
    const QByteArray tooLong(150, 'x');
    testing::writeFile(path("mapa.bin"),
                       testing::concat({ElementBuilder::t().codigoNul("123").texto("CALLE MAYOR"),
                                        ElementBuilder::t().codigoNul("123").texto(tooLong.toStdString())}));
    const Bytes oldOutput(100, 0x42);
    testing::writeFile(path("mapa_s.bin"), oldOutput);
    chooseAll();
    session.NombreBdD = path("b.sqlite");
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    EXPECT_EQ(rowCount(path("b.sqlite"), "CALLES"), 0);
    EXPECT_EQ(rowCount(path("b.sqlite"), "CONTROLPROCESO"), 0);
    EXPECT_FALSE(hasPartialOutput());
    // The output of an earlier job is not replaced by a half-written one.
    EXPECT_EQ(testing::readFile(path("mapa_s.bin")), oldOutput);
}

// A refusal only the engine knows (a number out of its column's range) reaches the job after the pass
// went on past the refused row: the job still fails on it, with the engine's message naming the table
// and the field, and keeps nothing.
TEST_F(RunDriverTest, ARowTheEngineRefusesLaterStillEndsTheJobWithNothingKept) {
    testing::CatalogTables t;
    t.msCatalog = {{"CALLES", 7}};
    t.feature = {{40000, "CALLES"}};
    testing::createCatalogDatabase(path("b.sqlite"), t);
    {
        auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path("b.sqlite"));
        testing::makeTable(*db, QStringLiteral("CALLES"),
                           {engines::FieldDef{"mslink", engines::dbLong, 0},
                            engines::FieldDef{"tcomplet", engines::dbText, 0},
                            engines::FieldDef{"tmapa", engines::dbText, 100},
                            engines::FieldDef{"tfeature", engines::dbInteger, 0},  // up to 32767
                            engines::FieldDef{"clasific", engines::dbInteger, 0}});
        db->Close();
    }
    std::vector<ElementBuilder> elements;
    for (int i = 0; i < 50; ++i) {
        elements.push_back(ElementBuilder::t().codigoNul("40000").texto("CALLE " + std::to_string(i)));
    }
    testing::writeFile(path("mapa.bin"), testing::concat(elements));
    chooseAll();
    session.NombreBdD = path("b.sqlite");
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    const QString said = outcome.message + outcome.description;
    EXPECT_TRUE(said.contains(QStringLiteral("'tfeature'")) && said.contains(QStringLiteral("'CALLES'")))
        << qPrintable(said);
    EXPECT_EQ(rowCount(path("b.sqlite"), "CALLES"), 0);
    EXPECT_EQ(rowCount(path("b.sqlite"), "CONTROLPROCESO"), 0);
    EXPECT_FALSE(QFileInfo::exists(path("mapa_s.bin")));
    EXPECT_FALSE(hasPartialOutput());
}

// A face asks the job to end halfway through its pass: the job ends as a failure ends, whatever it
// had written, in the database and in the output, undone.
TEST_F(RunDriverTest, AJobAskedToEndHalfwayEndsAsAFailureEnds) {
    testing::createCatalogDatabase(path("b.sqlite"), streetCatalog());
    std::vector<ElementBuilder> elements;
    for (int i = 0; i < 10; ++i) {
        elements.push_back(ElementBuilder::t().codigoNul("123").texto("CALLE " + std::to_string(i)));
    }
    testing::writeFile(path("mapa.bin"), testing::concat(elements));
    const Bytes oldOutput(100, 0x42);
    testing::writeFile(path("mapa_s.bin"), oldOutput);
    chooseAll();
    session.NombreBdD = path("b.sqlite");
    int asked = 0;
    display.askedToEnd = [&] { return ++asked == 5; };  // after the fifth element
    Job job(inputs(Mode::No), display);
    const core::RunOutcome outcome = job.run();
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    EXPECT_EQ(outcome.number, core::errnum::kInterrupted);
    EXPECT_EQ(asked, 5);
    EXPECT_EQ(job.TextosProcesados(), 5) << "it did get halfway";
    EXPECT_EQ(rowCount(path("b.sqlite"), "CALLES"), 0);
    EXPECT_EQ(rowCount(path("b.sqlite"), "CONTROLPROCESO"), 0);
    EXPECT_FALSE(hasPartialOutput());
    EXPECT_EQ(testing::readFile(path("mapa_s.bin")), oldOutput);
}

// An orderly stop keeps what the job did before it: its records and log rows, and the elements already
// written, under the output's name.
TEST_F(RunDriverTest, StopKeepsTheWorkDoneBeforeItInBothFiles) {
    testing::createCatalogDatabase(path("b.sqlite"), streetCatalog());
    Bytes input = testing::concat(
        {ElementBuilder::t().codigoNul("123").texto("CALLE MAYOR"), ElementBuilder::c().records(1)});
    input.resize(input.size() - 3);  // the last element is cut short
    testing::writeFile(path("mapa.bin"), input);
    chooseAll();
    session.NombreBdD = path("b.sqlite");
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Stopped);
    EXPECT_EQ(rowCount(path("b.sqlite"), "CALLES"), 1);
    EXPECT_EQ(rowCount(path("b.sqlite"), "CONTROLPROCESO"), 2);
    const auto out = testing::parseFile(path("mapa_s.bin"));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].links.size(), 1u);
    EXPECT_FALSE(hasPartialOutput());
}

// A simulated job runs the checks (which create the missing log table and attribute table) and the pass
// (which claims, adds and logs), then keeps nothing: every table as it was, the database file byte for
// byte, the folder as it was and an old output untouched. The same job for real changes all of it.
TEST_F(RunDriverTest, ASimulationLeavesTheDatabaseTheFolderAndAnOldOutputAsTheyWere) {
    testing::CatalogTables t = streetCatalog();
    t.msCatalog.push_back({"NUEVA", 9});  // a table the database lacks: the check creates it
    t.controlProceso = false;
    testing::createCatalogDatabase(path("b.sqlite"), t);
    testing::writeFile(path("mapa.bin"),
                       testing::concat({ElementBuilder::t().codigoNul("123").texto("CALLE MAYOR"),
                                        ElementBuilder::t().codigoNul("123").texto("PLAZA").link(7, 40)}));
    const Bytes oldOutput(100, 0x42);
    testing::writeFile(path("mapa_s.bin"), oldOutput);
    const QStringList rows = testing::rowsOfEveryTable(path("b.sqlite"));
    const Bytes database = testing::readFile(path("b.sqlite"));
    const QStringList folder = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    chooseAll();
    session.NombreBdD = path("b.sqlite");
    RunOptions simulate;
    simulate.simulate = true;

    Job job(inputs(Mode::Si, simulate), display);
    const core::RunOutcome outcome = job.run();
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Finished) << outcome.description.toStdString();
    EXPECT_EQ(job.TextosProcesados(), 2);
    EXPECT_TRUE(databaseIsFree(session.NombreBdD)) << "the job has closed its database";
    EXPECT_EQ(testing::rowsOfEveryTable(path("b.sqlite")), rows);
    EXPECT_EQ(testing::readFile(path("b.sqlite")), database);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), folder);
    EXPECT_EQ(testing::readFile(path("mapa_s.bin")), oldOutput);
    EXPECT_EQ(display.text(core::Control::Label5), simulatedMessage(path("mapa_s.bin")));
    EXPECT_TRUE(display.finishedVisible);

    ASSERT_EQ(Command1_Click(session, display, Mode::Si).kind, core::RunOutcome::Kind::Finished);
    EXPECT_NE(testing::rowsOfEveryTable(path("b.sqlite")), rows);
    EXPECT_NE(testing::readFile(path("mapa_s.bin")), oldOutput);
}

// A stop in a simulation keeps nothing either, where a real job keeps what it did before the stop.
TEST_F(RunDriverTest, AStopDuringASimulationChangesNothing) {
    testing::createCatalogDatabase(path("b.sqlite"), streetCatalog());
    Bytes input = testing::concat(
        {ElementBuilder::t().codigoNul("123").texto("CALLE MAYOR"), ElementBuilder::c().records(1)});
    input.resize(input.size() - 3);  // the last element is cut short
    testing::writeFile(path("mapa.bin"), input);
    const QStringList rows = testing::rowsOfEveryTable(path("b.sqlite"));
    chooseAll();
    session.NombreBdD = path("b.sqlite");
    RunOptions simulate;
    simulate.simulate = true;
    Job job(inputs(Mode::No, simulate), display);
    const core::RunOutcome outcome = job.run();
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Stopped);
    EXPECT_EQ(outcome.message, QStringLiteral("Fichero Corrupto"));
    EXPECT_EQ(testing::rowsOfEveryTable(path("b.sqlite")), rows);
    EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
    EXPECT_FALSE(hasPartialOutput());
    EXPECT_TRUE(databaseIsFree(session.NombreBdD)) << "the job has closed its database";
}

// An output name that leads, through a link, to the drawing or the database is refused before
// anything is opened or written: neither file is touched.
TEST_F(RunDriverTest, OutputThatIsTheInputOrTheDatabaseIsRefused) {
    for (const char* target : {"mapa.bin", "particular.sqlite"}) {
        SCOPED_TRACE(target);
        QFile::remove(path("mapa_s.bin"));
        ASSERT_TRUE(QFile::link(path(target), path("mapa_s.bin")));
        const Bytes before = testing::readFile(path(target));
        chooseAll();
        const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
        EXPECT_EQ(outcome.kind, core::RunOutcome::Kind::Stopped);
        EXPECT_TRUE(outcome.message.contains(QStringLiteral("es el mismo fichero")));
        EXPECT_EQ(testing::readFile(path(target)), before);
        EXPECT_FALSE(hasPartialOutput());
    }
}

// A failed job leaves no output under the output's name, not even an empty one, and no partial file.
TEST_F(RunDriverTest, DatabaseThatCannotBeOpenedFailsAndLeavesNoOutput) {
    chooseAll();
    session.NombreBdD = path("no-existe.sqlite");
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
    EXPECT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    EXPECT_NE(outcome.number, 0);
    EXPECT_FALSE(outcome.description.isEmpty());
    EXPECT_FALSE(QFile::exists(path("no-existe.sqlite")));
    EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "only the database and the drawing";
}

// Another process's job on the same database: this job waits for it, says so in the status line, and
// runs on its results; past the limit it fails with nothing written.
std::unique_ptr<engines::Database> holdAsAnotherJob(const QString& database) {
    return engines::OpenDatabaseForJob(engines::DBEngine::instance().Workspaces(0), database,
                                       std::chrono::seconds(1), {});
}

TEST_F(RunDriverTest, AJobWaitsForAnotherJobOnTheDatabaseAndRunsOnItsResults) {
    testing::createCatalogDatabase(path("b.sqlite"), streetCatalog());
    testing::writeFile(path("mapa.bin"),
                       testing::concat({ElementBuilder::t().codigoNul("123").texto("CALLE MAYOR")}));
    chooseAll();
    session.NombreBdD = path("b.sqlite");
    std::unique_ptr<engines::Database> other = holdAsAnotherJob(session.NombreBdD);
    other->InsertRow(QStringLiteral("CALLES"), {{QStringLiteral("mslink"), 5},
                                                {QStringLiteral("tmapa"), QStringLiteral("CALLE MAYOR")}});
    display.onNotice = [&](const QString& text) {
        if (!text.isEmpty()) {
            other->Close();  // the other job ends while this one waits
        }
    };
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Finished) << outcome.description.toStdString();
    ASSERT_EQ(display.notices.size(), 2u);
    EXPECT_EQ(display.notices[0],
              QStringLiteral("Esperando a que termine otro proceso sobre la base de datos '") +
                  session.NombreBdD + QStringLiteral("'..."));
    EXPECT_EQ(display.notices[1], QString());  // taken away once the job has the database
    EXPECT_EQ(display.text(core::Control::Label5), createdMessage(session.NombreBinSalida));
    // The text found the record the other job added: no new one.
    EXPECT_EQ(rowCount(session.NombreBdD, "CALLES"), 1);
}

TEST_F(RunDriverTest, AJobThatWaitsPastItsLimitFailsWithNothingWritten) {
    testing::createCatalogDatabase(path("b.sqlite"), streetCatalog());
    testing::writeFile(path("mapa.bin"),
                       testing::concat({ElementBuilder::t().codigoNul("123").texto("CALLE MAYOR")}));
    chooseAll();
    session.NombreBdD = path("b.sqlite");
    const Bytes oldOutput(100, 0x42);
    testing::writeFile(path("mapa_s.bin"), oldOutput);
    std::unique_ptr<engines::Database> other = holdAsAnotherJob(session.NombreBdD);
    RunOptions options;
    options.wait = std::chrono::milliseconds(300);
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No, options);
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    EXPECT_EQ(outcome.number, engines::errnum::kHeldByAnother);
    EXPECT_TRUE(outcome.description.contains(session.NombreBdD)) << outcome.description.toStdString();
    EXPECT_EQ(display.notices.size(), 1u);
    other->Close();
    EXPECT_EQ(rowCount(session.NombreBdD, "CALLES"), 0);
    EXPECT_EQ(rowCount(session.NombreBdD, "CONTROLPROCESO"), 0);
    EXPECT_EQ(testing::readFile(path("mapa_s.bin")), oldOutput);
    EXPECT_FALSE(hasPartialOutput());
}

TEST_F(RunDriverTest, AJobWaitingForTheDatabaseCanBeAskedToEndLongBeforeItsLimit) {
    testing::createCatalogDatabase(path("b.sqlite"), streetCatalog());
    chooseAll();
    session.NombreBdD = path("b.sqlite");
    std::unique_ptr<engines::Database> other = holdAsAnotherJob(session.NombreBdD);
    int asked = 0;
    display.askedToEnd = [&] { return ++asked == 3; };  // the third try gives up
    const auto start = std::chrono::steady_clock::now();
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);  // ten minutes, unless asked
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    ASSERT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    EXPECT_EQ(outcome.number, core::errnum::kInterrupted);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(display.notices.size(), 1u);
    other->Close();
    EXPECT_EQ(rowCount(session.NombreBdD, "CONTROLPROCESO"), 0);
    EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
    EXPECT_FALSE(hasPartialOutput());
}

TEST_F(RunDriverTest, AJobThatFindsTheDatabaseFreeGivesNoNotice) {
    chooseAll();
    ASSERT_EQ(Command1_Click(session, display, Mode::No).kind, core::RunOutcome::Kind::Finished);
    EXPECT_TRUE(display.notices.empty());
}

TEST_F(RunDriverTest, InputThatCannotBeOpenedFailsBeforeTheOutputIsCreated) {
    chooseAll();
    session.NombreBin = path("no-existe.bin");
    const core::RunOutcome outcome = Command1_Click(session, display, Mode::No);
    EXPECT_EQ(outcome.kind, core::RunOutcome::Kind::Failed);
    EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
    EXPECT_EQ(core::errorText(3024, QStringLiteral("No se encuentra")),
              QStringLiteral("Error 3024") + QChar(13) + QStringLiteral("No se encuentra"));
}

}  // namespace
}  // namespace vexilo::app
