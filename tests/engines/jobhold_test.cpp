// Holding a database for one job: nobody else reads or writes it until the holder closes, the holder
// works as before, and a job that finds it held waits, says so once, and gives up at its limit.

#include <sqlite3.h>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <cstdio>

#include "enginetest.h"

namespace vexilo::testing {
namespace {

using namespace std::chrono_literals;
using core::EngineError;
using engines::Database;
using engines::dbOpenSnapshot;
using engines::Query;
namespace errnum = engines::errnum;

// The engine's usual busy wait would make every refused read below take seconds.
class ShortBusyWait {
  public:
    ShortBusyWait() { engines::DBEngine::instance().setBusyTimeoutMs(50); }
    ~ShortBusyWait() { engines::DBEngine::instance().setBusyTimeoutMs(m_usual); }

  private:
    int m_usual = engines::DBEngine::instance().busyTimeoutMs();
};

class JobHold : public EngineTest {
  protected:
    void SetUp() override {
        createAttributeTable("PARCELAS");
        file.insertRows("PARCELAS", {{1, "uno", "uno", QVariant(), QVariant()}});
    }

    std::unique_ptr<Database> openForJob(std::chrono::milliseconds limit,
                                         const std::function<void()>& onWait) {
        return engines::OpenDatabaseForJob(engines::DBEngine::instance().Workspaces(0), file.path(), limit,
                                           onWait);
    }

    // Reads the table through a QtSql connection of its own, with no busy wait.
    bool plainReaderCanRead() const {
        bool read = false;
        {
            QSqlDatabase reader = QSqlDatabase::addDatabase("QSQLITE", "jobhold-reader");
            reader.setDatabaseName(file.path());
            reader.setConnectOptions("QSQLITE_BUSY_TIMEOUT=0");
            if (reader.open()) {
                QSqlQuery q(reader);
                read = q.exec("SELECT count(*) FROM PARCELAS") && q.next();
            }
            reader.close();
        }
        QSqlDatabase::removeDatabase("jobhold-reader");
        return read;
    }

    static int rowCount(Database& db) { return static_cast<int>(db.ReadRows("PARCELAS", {"mslink"}).size()); }

    ShortBusyWait shortBusyWait;
};

TEST_F(JobHold, NoOtherConnectionCanReadOrOpenTheDatabaseUntilTheHolderCloses) {
    std::unique_ptr<Database> job = openForJob(1s, [] { ADD_FAILURE() << "nobody held the database"; });
    EXPECT_EQ(engineErrorOf([&] { open(); }).number() & 0xff, 5);  // SQLITE_BUSY, even to read
    EXPECT_FALSE(plainReaderCanRead());                            // nor a reader outside the engine layer
    job->Close();
    EXPECT_TRUE(plainReaderCanRead());
    std::unique_ptr<Database> after = open();
    EXPECT_EQ(rowCount(*after), 1);
}

TEST_F(JobHold, TheHolderWritesInItsOwnTransactionsRollsBackAndClosesAsBefore) {
    std::unique_ptr<Database> job = openForJob(1s, {});
    job->BeginTrans();
    job->InsertRow("PARCELAS", {{"mslink", 2}, {"tmapa", "dos"}});
    EXPECT_EQ(rowCount(*job), 2);  // reads its own writes
    job->Rollback();
    EXPECT_EQ(rowCount(*job), 1);
    job->BeginTrans();
    job->InsertRow("PARCELAS", {{"mslink", 3}, {"tmapa", "tres"}});
    job->CommitTrans();
    job->BeginTrans();
    job->InsertRow("PARCELAS", {{"mslink", 4}, {"tmapa", "cuatro"}});
    job->Close();  // commits the open transaction, then lets the file go

    EXPECT_EQ(file.rows("PARCELAS").size(), 3u);
    EXPECT_FALSE(QFile::exists(file.path() + "-journal"));  // nothing left beside the user's file
    std::unique_ptr<Database> next = openForJob(1s, [] { ADD_FAILURE() << "the first job did not let go"; });
    EXPECT_EQ(rowCount(*next), 3);
}

TEST_F(JobHold, AJobThatFindsTheDatabaseHeldSaysSoOnceAndGivesUpAtItsLimit) {
    std::unique_ptr<Database> first = openForJob(1s, {});
    int notices = 0;
    QElapsedTimer clock;
    clock.start();
    const EngineError e = engineErrorOf([&] { openForJob(400ms, [&] { ++notices; }); });
    EXPECT_EQ(e.number(), errnum::kHeldByAnother);
    EXPECT_TRUE(e.description().contains(file.path())) << e.description().toStdString();
    EXPECT_TRUE(e.description().contains("otro proceso")) << e.description().toStdString();
    EXPECT_EQ(notices, 1);
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_LT(clock.elapsed(), 4000);  // not the engine's busy wait on every try

    // Nothing changed for the holder.
    first->InsertRow("PARCELAS", {{"mslink", 2}});
    EXPECT_EQ(rowCount(*first), 2);
}

TEST_F(JobHold, AJobThatWaitsGetsTheDatabaseAsSoonAsTheHolderLetsGo) {
    std::unique_ptr<Database> first = openForJob(1s, {});
    first->InsertRow("PARCELAS", {{"mslink", 2}});
    int notices = 0;
    // The holder finishes while the second job waits.
    std::unique_ptr<Database> second = openForJob(10s, [&] {
        ++notices;
        first->Close();
    });
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(rowCount(*second), 2);  // the second job runs on the first job's results
}

// A writer that replaces the whole file (an import, the sample) does it while it holds the old one; a job
// that opened the old file and was waiting for it then runs on the new one, never on a file that no name
// leads to. Here a plain reader of the old file makes the job wait after it opened the file.
TEST_F(JobHold, AJobThatWaitedWhileTheFileWasReplacedRunsOnTheNewFile) {
    const QString replacement = file.pathFor("nueva.sqlite");
    {
        std::unique_ptr<Database> db = engines::CreateDatabase(replacement);
        engines::TableDef parcelas("PARCELAS");
        parcelas.Append(engines::TableDef::CreateField("mslink", engines::dbLong));
        db->AppendTableDef(parcelas);
        for (int i = 1; i <= 3; ++i) {
            db->InsertRow("PARCELAS", {{"mslink", 10 + i}});
        }
        db->Close();
    }
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(file.path()).constData(), &reader), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM PARCELAS;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    std::unique_ptr<Database> job = openForJob(10s, [&] {
        EXPECT_EQ(std::rename(QFile::encodeName(replacement).constData(),
                              QFile::encodeName(file.path()).constData()),
                  0);
        sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(reader);
    });
    EXPECT_EQ(rowCount(*job), 3);
    job->InsertRow("PARCELAS", {{"mslink", 20}});
    job->Close();
    EXPECT_EQ(file.rows("PARCELAS").size(), 4u);  // the job's row is in the file the name leads to
}

TEST_F(JobHold, AnOpenDatabaseCanBeHeldTooAndAHeldOneRefusesOthersTries) {
    std::unique_ptr<Database> first = open();
    std::unique_ptr<Database> second = open();
    first->HoldForJob(1s, [] { ADD_FAILURE() << "nobody held the database"; });
    int notices = 0;
    const EngineError e = engineErrorOf([&] { second->HoldForJob(200ms, [&] { ++notices; }); });
    EXPECT_EQ(e.number(), errnum::kHeldByAnother);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(rowCount(*first), 1);
}

TEST_F(JobHold, AZeroLimitTriesOnce) {
    std::unique_ptr<Database> free = openForJob(0ms, [] { ADD_FAILURE() << "nobody held the database"; });
    EXPECT_EQ(rowCount(*free), 1);
    EXPECT_EQ(engineErrorOf([&] { openForJob(0ms, {}); }).number(), errnum::kHeldByAnother);
}

TEST_F(JobHold, FailuresOtherThanAHolderAreNotWaitedFor) {
    bool waited = false;
    const EngineError e = engineErrorOf([&] {
        engines::OpenDatabaseForJob(engines::DBEngine::instance().Workspaces(0), file.pathFor("no.sqlite"),
                                    5s, [&] { waited = true; });
    });
    EXPECT_EQ(e.number(), errnum::kDatabaseNotFound);
    EXPECT_FALSE(waited);
}

}  // namespace
}  // namespace vexilo::testing
