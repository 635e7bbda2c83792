// The run log: one row per table, record and file, with the moment of the first logging.

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "schema/runlog.h"
#include "tests/support/catalogfixture.h"
#include "tests/support/testservices.h"

namespace vexilo::schema {
namespace {

using testing::CatalogRun;
using testing::CatalogTables;

class RunLog : public ::testing::Test {
  protected:
    void SetUp() override {
        services.clockSeam.dateTime = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26, 535));
    }

    std::vector<engines::Database::Row> rows(CatalogRun& r) {
        return r.Bd->ReadRows("controlproceso", {"NombreTabla", "mslink", "RegistroATR", "NombreFichero",
                                                 "TMapa", "Fecha", "Hora"});
    }

    testing::TestServices services;
    desktop::ScopedServices scoped{services};
    CatalogRun run;
};

TEST_F(RunLog, CreatedTableHasTheSevenFieldsInOrder) {
    CatalogTables t;
    t.controlProceso = false;
    CatalogRun bare(t);
    const int before = bare.Bd->TableDefsCount();
    creaTablaControlProceso(*bare.Bd);
    EXPECT_EQ(bare.Bd->TableDefsCount(), before + 1);
    EXPECT_EQ(bare.Bd->FieldNames("CONTROLPROCESO"),
              (std::vector<QString>{"NombreTabla", "mslink", "RegistroATR", "NombreFichero", "TMapa", "Fecha",
                                    "Hora"}));
}

TEST_F(RunLog, SameTableRecordAndFileIsLoggedOnceWithTheFirstTextAndMoment) {
    AnadeAControlProceso(run.log(), "CALLE", 12, "C:/mapas/a.bin", "Mayor", 0);
    services.clockSeam.dateTime = services.clockSeam.dateTime.addSecs(3600);
    AnadeAControlProceso(run.log(), "calle", 12, "c:/MAPAS/A.BIN", "Menor", 5);  // case does not matter
    AnadeAControlProceso(run.log(), "CALLE", 12, "C:/mapas/a_s.bin", "Mayor", 12);
    run.dropCaches();  // a later job reads the log back from the table
    AnadeAControlProceso(run.log(), "CALLE", 12, "C:/mapas/a.bin", "Otro", 7);

    const auto logged = rows(run);
    ASSERT_EQ(logged.size(), 2u);
    const auto& first = logged[0].values;
    EXPECT_EQ(first[0], "CALLE");
    EXPECT_EQ(first[1].toInt(), 12);
    EXPECT_EQ(first[2].toInt(), 0);
    EXPECT_EQ(first[4], "Mayor");
    // Fecha is the day at midnight, Hora the time of day on day zero: together the first moment.
    EXPECT_EQ(first[5].toDateTime(), QDateTime(QDate(2026, 3, 14), QTime(0, 0)));
    EXPECT_EQ(first[6].toDateTime(), QDateTime(QDate(1899, 12, 30), QTime(15, 9, 26)));
    EXPECT_EQ(logged[1].values[3], "C:/mapas/a_s.bin");
    EXPECT_EQ(logged[1].values[6].toDateTime().time(), QTime(16, 9, 26));
}

TEST_F(RunLog, StoredRowsWithNullNeverMatch) {
    run.Bd->InsertRow("CONTROLPROCESO",
                      {{"NombreTabla", "CALLE"}, {"mslink", QVariant()}, {"NombreFichero", "a"}});
    run.Bd->InsertRow("CONTROLPROCESO", {{"NombreTabla", QVariant()}, {"mslink", 1}, {"NombreFichero", "a"}});
    run.Bd->InsertRow("CONTROLPROCESO",
                      {{"NombreTabla", "CALLE"}, {"mslink", 1}, {"NombreFichero", QVariant()}});
    run.Bd->InsertRow("CONTROLPROCESO", {{"NombreTabla", "CALLE"}, {"mslink", 2}, {"NombreFichero", "a"}});
    AnadeAControlProceso(run.log(), "CALLE", 1, "a", "t", 0);
    AnadeAControlProceso(run.log(), "CALLE", 2, "A", "t", 0);
    EXPECT_EQ(rows(run).size(), 5u);
}

TEST_F(RunLog, KeysDoNotLeakFromOneDatabaseToTheNext) {
    AnadeAControlProceso(run.log(), "CALLE", 1, "a", "t", 0);
    run.switchTo({}, "other.db");
    AnadeAControlProceso(run.log(), "CALLE", 1, "a", "t", 0);
    EXPECT_EQ(rows(run).size(), 1u);
}

// A clock whose local time is dear: the log asks it again only when its second changes.
class CountingClock : public testing::TestClock {
  public:
    QDateTime now() override {
        ++nowCalls;
        return dateTime;
    }
    qint64 epochSecond() override { return second; }
    int nowCalls = 0;
    qint64 second = 1000;
};

TEST_F(RunLog, TheClockIsReadOncePerSecondAndEveryRowCarriesItsOwnSecond) {
    CountingClock clock;
    clock.dateTime = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26));
    services.clockOverride = &clock;
    AnadeAControlProceso(run.log(), "CALLE", 1, "a", "t", 0);
    AnadeAControlProceso(run.log(), "CALLE", 2, "a", "t", 0);
    clock.dateTime = clock.dateTime.addSecs(1);
    AnadeAControlProceso(run.log(), "CALLE", 3, "a", "t", 0);  // the same second as far as the log can tell
    clock.second = 1001;
    AnadeAControlProceso(run.log(), "CALLE", 4, "a", "t", 0);
    services.clockOverride = nullptr;
    EXPECT_EQ(clock.nowCalls, 2);
    const auto logged = rows(run);
    ASSERT_EQ(logged.size(), 4u);
    EXPECT_EQ(logged[2].values[6].toDateTime().time(), QTime(15, 9, 26));
    EXPECT_EQ(logged[3].values[6].toDateTime().time(), QTime(15, 9, 27));
}

TEST_F(RunLog, RefusedRowIsNotRemembered) {
    const QString tooLong(101, QLatin1Char('x'));
    EXPECT_THROW(AnadeAControlProceso(run.log(), "CALLE", 1, "a", tooLong, 0), core::EngineError);
    EXPECT_TRUE(rows(run).empty());
    AnadeAControlProceso(run.log(), "CALLE", 1, "a", "corto", 0);
    EXPECT_EQ(rows(run).size(), 1u);
}

// The table the job creates carries no checks of its own: the engine layer's measure of each text
// against its field is what still keeps a text longer than its field out.
TEST_F(RunLog, TheCreatedTableRefusesATextLongerThanItsFieldAndKeepsOneThatFits) {
    CatalogTables t;
    t.controlProceso = false;
    CatalogRun bare(t);
    creaTablaControlProceso(*bare.Bd);
    const auto refusal = [&](const QString& fichero, const QString& texto) {
        try {
            AnadeAControlProceso(bare.log(), "CALLE", 1, fichero, texto, 0);
        } catch (const core::EngineError& e) {
            return e.description();
        }
        return QString();
    };
    EXPECT_TRUE(refusal("a.bin", QString(101, QLatin1Char('x'))).contains("'TMapa'"));
    EXPECT_TRUE(refusal(QString(256, QLatin1Char('f')), "corto").contains("'NombreFichero'"));
    EXPECT_TRUE(rows(bare).empty());
    EXPECT_EQ(refusal(QString(255, QLatin1Char('f')), QString(100, QLatin1Char('x'))), QString());
    const auto logged = rows(bare);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].values[4].toString().size(), 100);
}

}  // namespace
}  // namespace vexilo::schema

namespace vexilo::schema {
namespace {

// Thousands of keys over several tables and files, asked in turn: the key set grows many times and
// must still find every key, before and after it is read back from the table.
TEST_F(RunLog, EveryKeyIsFoundAcrossGrowthPairsAndARereading) {
    const std::vector<std::pair<QString, QString>> pairs = {
        {"CALLE", "a.bin"}, {"PORTAL", "a.bin"}, {"CALLE", "b.bin"}, {"calle", "A.BIN"}};
    // The extremes, and the numbers either side of where small numbers stop being kept as bits.
    const std::vector<std::int32_t> numbers = {0, -1, 2147483647, -2147483647 - 1, 4194303, 4194304};
    std::set<std::tuple<QString, std::int32_t, QString>> distinct;  // the oracle: names upper-cased
    auto logAll = [&](int n) {
        for (int i = 0; i < n; ++i) {
            const auto& [table, file] = pairs[static_cast<std::size_t>(i) % pairs.size()];
            const std::int32_t mslink = i < 6 ? numbers[static_cast<std::size_t>(i)] : i / 3;
            AnadeAControlProceso(run.log(), table, mslink, file, "t", 0);
            distinct.emplace(table.toUpper(), mslink, file.toUpper());
        }
    };
    logAll(3000);
    const std::size_t logged = rows(run).size();
    EXPECT_EQ(logged, distinct.size());
    logAll(3000);
    EXPECT_EQ(rows(run).size(), logged);
    run.dropCaches();
    logAll(3000);
    EXPECT_EQ(rows(run).size(), logged);
    AnadeAControlProceso(run.log(), "PORTAL", 5000, "b.bin", "t", 0);
    EXPECT_EQ(rows(run).size(), logged + 1);
}

}  // namespace
}  // namespace vexilo::schema
