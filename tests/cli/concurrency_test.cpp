// Jobs of two processes on one database: they never collide. Two vexilo-cli procesar started together
// end as if one had run after the other; a job that finds the database held past its limit ends with a
// clear message and leaves everything as it was. Both on a database file and on a server database.
#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include "app/fileselection.h"
#include "cli/cliprocess.h"
#include "engines/dao.h"
#include "engines/databasename.h"
#include "support/dbdump.h"
#include "support/dbfixture.h"
#include "support/elementbuilder.h"
#include "support/pgcluster.h"
#include "tests/support/processerrors.h"
#include "tools/sample/sample.h"

namespace vexilo::testing {
namespace {

sample::Options options() {
    sample::Options o;
    o.elements = 3000;
    o.texts = 600;
    o.tables = 3;
    o.seed = 23;
    return o;
}

QStringList process(const QString& dbPath, const QString& bin) {
    return {QStringLiteral("procesar"), QStringLiteral("-q"),
            QStringLiteral("--bdd"),    dbPath,
            QStringLiteral("--bin"),    bin};
}

// Two copies of the sample's drawing under two names, so that the log tells the two jobs apart; the
// sample's database on the given engine.
struct TwoSheets {
    TwoSheets(const QString& folder, Engine engine) {
        sample::Options o = options();
        if (engine == Engine::Postgres) {
            PgCluster* server = PgCluster::instance();
            o.database = server ? server->freshDatabase() : QString();
        }
        const sample::Result r = sample::generate(folder, o);
        dbPath = r.database;
        h1 = QDir(folder).filePath(QStringLiteral("h1.bin"));
        h2 = QDir(folder).filePath(QStringLiteral("h2.bin"));
        QFile::copy(r.drawing, h1);
        QFile::copy(r.drawing, h2);
    }
    QString dbPath, h1, h2;
};

// The state after the two jobs, one after the other, in this order.
QStringList oneAfterTheOther(const QString& first, const QString& second, Engine engine) {
    QTemporaryDir dir;
    TwoSheets sheets(dir.path(), engine);
    const QString a = QDir(dir.path()).filePath(first);
    const QString b = QDir(dir.path()).filePath(second);
    EXPECT_EQ(runCli(process(sheets.dbPath, a)).state, 0);
    EXPECT_EQ(runCli(process(sheets.dbPath, b)).state, 0);
    return rowsOfEveryTable(sheets.dbPath, dir.path());
}

QStringList repeatedMslinks(const QString& dbPath) {
    QStringList repeated;
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(dbPath);
    for (int i = 0; i < db->TableDefsCount(); ++i) {
        const QString table = db->TableDefName(i);
        if (table.compare(QStringLiteral("CONTROLPROCESO"), Qt::CaseInsensitive) == 0) {
            continue;
        }
        const std::vector<QString> fields = db->FieldNames(table);
        if (std::find_if(fields.begin(), fields.end(), [](const QString& c) {
                return c.compare(QStringLiteral("mslink"), Qt::CaseInsensitive) == 0;
            }) == fields.end()) {
            continue;
        }
        QSet<qint64> seen;
        for (const auto& row : db->ReadRows(table, {QStringLiteral("mslink")})) {
            const qint64 n = row.values[0].toLongLong();
            if (!row.values[0].isNull() && seen.contains(n)) {
                repeated << table + QLatin1Char(':') + QString::number(n);
            }
            seen.insert(n);
        }
    }
    db->Close();
    return repeated;
}

class Concurrency : public ::testing::TestWithParam<Engine> {};

TEST_P(Concurrency, TwoJobsStartedTogetherEndAsOneAfterTheOther) {
    QTemporaryDir dir;
    TwoSheets sheets(dir.path(), GetParam());
    // A holder keeps both jobs waiting, so that they meet for sure and go for the database together.
    QProcess holder;
    holder.start(QStringLiteral(VEXILO_TEST_HOLD), {sheets.dbPath});
    ASSERT_TRUE(holder.waitForReadyRead(30000));
    ASSERT_EQ(holder.readLine().trimmed(), QByteArray("held"));
    QProcess p1, p2;
    p1.start(QStringLiteral(VEXILO_CLI), process(sheets.dbPath, sheets.h1));
    p2.start(QStringLiteral(VEXILO_CLI), process(sheets.dbPath, sheets.h2));
    QString e1 = readErrorsUntil(p1, QStringLiteral("Esperando"));
    QString e2 = readErrorsUntil(p2, QStringLiteral("Esperando"));
    EXPECT_TRUE(e1.contains(QStringLiteral("Esperando"))) << e1.toStdString();
    EXPECT_TRUE(e2.contains(QStringLiteral("Esperando"))) << e2.toStdString();
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(30000));
    ASSERT_TRUE(p1.waitForFinished(120000));
    ASSERT_TRUE(p2.waitForFinished(120000));
    e1 += QString::fromUtf8(p1.readAllStandardError());
    e2 += QString::fromUtf8(p2.readAllStandardError());
    EXPECT_EQ(p1.exitCode(), 0) << e1.toStdString();
    EXPECT_EQ(p2.exitCode(), 0) << e2.toStdString();
    EXPECT_FALSE((e1 + e2).contains(QStringLiteral("bloqueada"))) << (e1 + e2).toStdString();

    EXPECT_TRUE(repeatedMslinks(sheets.dbPath).isEmpty())
        << repeatedMslinks(sheets.dbPath).join(' ').toStdString();
    const QStringList state = rowsOfEveryTable(sheets.dbPath, dir.path());
    EXPECT_TRUE(state.join('\n').contains(QStringLiteral("<dir>/h1.bin")));
    EXPECT_TRUE(state.join('\n').contains(QStringLiteral("<dir>/h2.bin")));
    const QStringList h1ThenH2 =
        oneAfterTheOther(QStringLiteral("h1.bin"), QStringLiteral("h2.bin"), GetParam());
    const QStringList h2ThenH1 =
        oneAfterTheOther(QStringLiteral("h2.bin"), QStringLiteral("h1.bin"), GetParam());
    EXPECT_TRUE(state == h1ThenH2 || state == h2ThenH1);
    EXPECT_TRUE(QFile::exists(app::outputNameOf(sheets.h1)));
    EXPECT_TRUE(QFile::exists(app::outputNameOf(sheets.h2)));
}

TEST_P(Concurrency, AJobThatWaitsPastItsLimitSaysSoAndTouchesNothing) {
    QTemporaryDir dir;
    TwoSheets sheets(dir.path(), GetParam());
    const QStringList before = rowsOfEveryTable(sheets.dbPath, dir.path());
    const Bytes drawing = readFile(sheets.h1);

    QProcess holder;
    holder.start(QStringLiteral(VEXILO_TEST_HOLD), {sheets.dbPath});
    ASSERT_TRUE(holder.waitForReadyRead(30000));
    ASSERT_EQ(holder.readLine().trimmed(), QByteArray("held"));

    const CliOutput s =
        runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), sheets.dbPath, QStringLiteral("--bin"),
                sheets.h1, QStringLiteral("--espera"), QStringLiteral("1")});
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(30000));
    EXPECT_EQ(holder.exitCode(), 0);

    EXPECT_EQ(s.state, 1);
    EXPECT_TRUE(
        s.errors.contains(QStringLiteral("Esperando a que termine otro proceso sobre la base de datos '") +
                          engines::shownDatabaseName(sheets.dbPath) + QStringLiteral("'...")))
        << s.errors.toStdString();
    EXPECT_TRUE(s.errors.contains(QStringLiteral("Error %1").arg(engines::errnum::kHeldByAnother)))
        << s.errors.toStdString();
    EXPECT_TRUE(s.errors.contains(QStringLiteral("sigue en uso por otro proceso"))) << s.errors.toStdString();
    EXPECT_FALSE(s.errors.contains(QStringLiteral("database is locked"))) << s.errors.toStdString();
    EXPECT_EQ(rowsOfEveryTable(sheets.dbPath, dir.path()), before);
    EXPECT_EQ(readFile(sheets.h1), drawing);
    EXPECT_FALSE(QFile::exists(app::outputNameOf(sheets.h1)));
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.parcial*")}, QDir::Files).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, Concurrency, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) {
                             return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
                         });

TEST(ConcurrencyUsage, WaitOptionMustBeAWholeNumberOfSeconds) {
    const CliOutput s = runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"),
                                QStringLiteral("x.sqlite"), QStringLiteral("--bin"), QStringLiteral("x.bin"),
                                QStringLiteral("--espera"), QStringLiteral("-3")});
    EXPECT_EQ(s.state, 2);
    EXPECT_TRUE(s.errors.contains(QStringLiteral("--espera"))) << s.errors.toStdString();
}

}  // namespace
}  // namespace vexilo::testing
