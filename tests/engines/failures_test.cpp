// Engine failures: every one an EngineError with a number and the table's name; hostile names never
// change a statement.

#include <QSqlDatabase>
#include <QSqlQuery>

#include "enginetest.h"

namespace vexilo::testing {
namespace {

using core::EngineError;
using engines::Database;
using engines::dbLong;
using engines::dbOpenDynaset;
using engines::dbOpenSnapshot;
using engines::dbText;
using engines::Query;
using engines::TableDef;
namespace errnum = engines::errnum;

class Failures : public EngineTest {
  protected:
    void SetUp() override {
        createAttributeTable("PARCELAS");
        file.insertRows("PARCELAS", {{1, "uno", "uno", QVariant(), QVariant()}});
        file.createTable("SINMSLINK", {{"tmapa", "TEXT"}});
        db = open();
    }
    std::unique_ptr<Database> db;
};

// What only a file of the embedded engine shows: another program's lock on the file.
class FailuresOnSqlite : public Failures {};

TEST_P(Failures, UnknownTablesAndFieldsAreNamed) {
    EngineError e = engineErrorOf([&] { db->OpenRecordset(Query::all("CALLES"), dbOpenSnapshot); });
    EXPECT_EQ(e.number(), errnum::kTableNotFound);
    EXPECT_TRUE(e.description().contains("CALLES"));
    e = engineErrorOf([&] { db->OpenRecordset(Query::mslinkEquals("SINMSLINK", 1), dbOpenSnapshot); });
    EXPECT_EQ(e.number(), errnum::kFieldNotFound);
    EXPECT_TRUE(e.description().contains("SINMSLINK"));
    e = engineErrorOf([&] { db->AppendField("CALLES", TableDef::CreateField("x", dbLong)); });
    EXPECT_EQ(e.number(), errnum::kTableNotFound);
    e = engineErrorOf([&] { db->AppendField("PARCELAS", TableDef::CreateField("TMAPA", dbText)); });
    EXPECT_NE(e.number(), 0);  // the engine's own number for a duplicate column
    EXPECT_TRUE(e.description().contains("PARCELAS"));
}

TEST_F(FailuresOnSqlite, DatabaseLockedByAnotherProgramFailsAsBusyAfterWaiting) {
    struct ShortWait {
        int usual = engines::DBEngine::instance().busyTimeoutMs();
        ShortWait() { engines::DBEngine::instance().setBusyTimeoutMs(100); }
        ~ShortWait() { engines::DBEngine::instance().setBusyTimeoutMs(usual); }
    } shortWait;
    db = open();  // with the short wait
    // Another connection holds the exclusive lock: writing and opening wait, then fail as busy.
    QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "failures-locker");
    other.setDatabaseName(file.path());
    ASSERT_TRUE(other.open());
    {
        QSqlQuery lock(other);
        ASSERT_TRUE(lock.exec("BEGIN EXCLUSIVE"));
        const EngineError e = engineErrorOf([&] { db->InsertRow("PARCELAS", {{"mslink", 2}}); });
        EXPECT_EQ(e.number() & 0xff, 5);  // SQLITE_BUSY
        EXPECT_TRUE(e.description().contains("PARCELAS"));
        const EngineError atOpening = engineErrorOf([&] { open(); });
        EXPECT_EQ(atOpening.number() & 0xff, 5);  // a locked database, not a damaged one
        EXPECT_TRUE(atOpening.description().contains(file.path()));
        lock.exec("ROLLBACK");
    }
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase("failures-locker");
    db->InsertRow("PARCELAS", {{"mslink", 2}});  // the connection is still usable
}

// A table name that holds quotes, a semicolon or SQL is only ever a name.
TEST_P(Failures, HostileTableNamesNeverChangeAStatement) {
    const std::vector<QString> names = {
        "PARCELAS; DROP TABLE PARCELAS; --", "x\" ; DELETE FROM \"PARCELAS", "PARCELAS\"", "a'b", "%1 %2",
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(engineErrorOf([&] { db->OpenRecordset(Query::all(name), dbOpenSnapshot); }).number(),
                  errnum::kTableNotFound);
        TableDef def = Database::CreateTableDef(name);
        def.Append(TableDef::CreateField("mslink", dbLong));
        def.Append(TableDef::CreateField(name, dbText, 10));
        db->AppendTableDef(def);
        db->InsertRow(name, {{"mslink", 3}, {name, "texto"}});
        auto r = db->OpenRecordset(Query::mslinkEquals(name, 3), dbOpenDynaset);
        ASSERT_EQ(r->RecordCount(), 1);
        EXPECT_EQ(r->Value(name).toString(), "texto");
        EXPECT_EQ(file.rows(name).size(), 1u);
    }
    // The table the names aim at is untouched.
    EXPECT_EQ(file.rows("PARCELAS").size(), 1u);
    EXPECT_EQ(db->TableDefsCount(), 2 + static_cast<int>(names.size()));
}

INSTANTIATE_TEST_SUITE_P(Engines, Failures, bothEngines(), engineName);

}  // namespace
}  // namespace vexilo::testing
