// The programs that write a whole database (importar, demo) meet a job on it as another job would: they
// wait for it with the job's notice and limit, or give up having changed nothing, and a database file
// they replace is kept beside the new one as a dated backup.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "cli/cliprocess.h"
#include "support/dbdump.h"
#include "support/dbfixture.h"
#include "support/pgcluster.h"
#include "tools/sample/sample.h"

namespace vexilo::testing {
namespace {

sample::Result sampleIn(const QString& folder, std::uint64_t seed, const QString& database = QString()) {
    sample::Options o;
    o.elements = 300;
    o.texts = 60;
    o.tables = 3;
    o.seed = seed;
    o.database = database;
    return sample::generate(folder, o);
}

// A process that holds a database as a job does until release() (tests/helpers/holddatabase.cpp).
class Holder {
  public:
    explicit Holder(const QString& database) {
        m_process.start(QStringLiteral(VEXILO_TEST_HOLD), {database});
        held = m_process.waitForReadyRead(30000) && m_process.readLine().trimmed() == "held";
    }
    ~Holder() { release(); }
    void release() {
        m_process.closeWriteChannel();
        m_process.waitForFinished(30000);
    }
    bool held = false;

  private:
    QProcess m_process;
};

// Starts vexilo-cli and reads its standard error until it says it waits.
QString startAndReadUntilWaiting(QProcess& cli, const QStringList& args) {
    cli.setReadChannel(QProcess::StandardError);
    cli.start(QStringLiteral(VEXILO_CLI), args);
    QString errors;
    while (!errors.contains(QStringLiteral("Esperando")) && cli.waitForReadyRead(20000)) {
        errors += QString::fromUtf8(cli.readAllStandardError());
    }
    return errors;
}

QStringList filesIn(const QString& folder, const QString& pattern) {
    return QDir(folder).entryList({pattern}, QDir::Files);
}

TEST(DatabaseWriters, AnImportOverADatabaseThatAJobHoldsGivesUpAtItsLimitHavingChangedNothing) {
    QTemporaryDir dir;
    const sample::Result target = sampleIn(dir.filePath(QStringLiteral("a")), 1);
    const sample::Result other = sampleIn(dir.filePath(QStringLiteral("b")), 2);
    const QStringList before = rowsOfEveryTable(target.database);
    Holder job(target.database);
    ASSERT_TRUE(job.held);

    const CliOutput s = runCli({QStringLiteral("importar"), other.database, target.database,
                                QStringLiteral("--forzar"), QStringLiteral("--espera"), QStringLiteral("1")});
    EXPECT_EQ(s.state, 1);
    EXPECT_TRUE(
        s.errors.contains(QStringLiteral("Esperando a que termine otro proceso sobre la base de datos")))
        << s.errors.toStdString();
    EXPECT_TRUE(s.errors.contains(QStringLiteral("después de esperar 1 segundos"))) << s.errors.toStdString();
    job.release();
    EXPECT_EQ(rowsOfEveryTable(target.database), before);
    EXPECT_TRUE(filesIn(dir.filePath(QStringLiteral("a")), QStringLiteral("*.bak")).isEmpty());
    EXPECT_TRUE(filesIn(dir.filePath(QStringLiteral("a")), QStringLiteral("*.parcial*")).isEmpty());
}

// The job's results are never written into a file that no name leads to: the writer waits for the job,
// and the file with the job's results is the backup.
TEST(DatabaseWriters, AnImportOrASampleOverADatabaseThatAJobHoldsWaitsAndKeepsTheOldFileAsABackup) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("a"));
    const sample::Result target = sampleIn(folder, 1);
    const sample::Result other = sampleIn(dir.filePath(QStringLiteral("b")), 2);
    const QStringList old = rowsOfEveryTable(target.database);
    const QStringList imported = rowsOfEveryTable(other.database);
    ASSERT_NE(old, imported);

    for (const QStringList& args :
         {QStringList{QStringLiteral("importar"), other.database, target.database,
                      QStringLiteral("--forzar")},
          QStringList{QStringLiteral("demo"), folder, QStringLiteral("--elementos"), QStringLiteral("300"),
                      QStringLiteral("--textos"), QStringLiteral("60"), QStringLiteral("--tablas"),
                      QStringLiteral("3"), QStringLiteral("--semilla"), QStringLiteral("1")}}) {
        SCOPED_TRACE(args.front().toStdString());
        const QStringList replaced = rowsOfEveryTable(target.database);
        const QStringList backupsBefore = filesIn(folder, QStringLiteral("muestra.sqlite.*.bak"));
        Holder job(target.database);
        ASSERT_TRUE(job.held);
        QProcess writer;
        QString errors = startAndReadUntilWaiting(writer, args);
        EXPECT_TRUE(errors.contains(QStringLiteral("Esperando a que termine otro proceso")))
            << errors.toStdString();
        job.release();
        ASSERT_TRUE(writer.waitForFinished(60000));
        errors += QString::fromUtf8(writer.readAllStandardError());
        EXPECT_EQ(writer.exitCode(), 0) << errors.toStdString();

        QStringList backups = filesIn(folder, QStringLiteral("muestra.sqlite.*.bak"));
        for (const QString& b : backupsBefore) {
            backups.removeOne(b);
        }
        ASSERT_EQ(backups.size(), 1) << backups.join(' ').toStdString();
        EXPECT_TRUE(QString::fromUtf8(writer.readAllStandardOutput()).contains(backups.front()));
        EXPECT_EQ(rowsOfEveryTable(QDir(folder).filePath(backups.front())), replaced);
    }
    EXPECT_EQ(rowsOfEveryTable(target.database), old);  // the demo wrote the first sample again
    EXPECT_TRUE(filesIn(folder, QStringLiteral("*.parcial*")).isEmpty());
}

// On a server the import holds the database as a job does: the tables a job works on are never replaced
// under it.
TEST(DatabaseWriters, AnImportIntoAServerDatabaseThatAJobHoldsGivesUpAtItsLimit) {
    PgCluster* server = PgCluster::instance();
    ASSERT_NE(server, nullptr);
    QTemporaryDir dir;
    const sample::Result target = sampleIn(dir.filePath(QStringLiteral("a")), 1, server->freshDatabase());
    const sample::Result other = sampleIn(dir.filePath(QStringLiteral("b")), 2);
    const QStringList before = rowsOfEveryTable(target.database);
    Holder job(target.database);
    ASSERT_TRUE(job.held);
    const CliOutput s = runCli({QStringLiteral("importar"), other.database, target.database,
                                QStringLiteral("--forzar"), QStringLiteral("--espera"), QStringLiteral("1")});
    job.release();
    EXPECT_EQ(s.state, 1);
    EXPECT_TRUE(s.errors.contains(QStringLiteral("Esperando a que termine otro proceso")))
        << s.errors.toStdString();
    EXPECT_TRUE(s.errors.contains(QStringLiteral("sigue en uso por otro proceso"))) << s.errors.toStdString();
    EXPECT_EQ(rowsOfEveryTable(target.database), before);
}

// A copy is of one state of its source: an import from a server database that a job holds waits for the
// job (the copy has no name meanwhile), then copies what the job left, every table of it.
TEST(DatabaseWriters, AnImportFromADatabaseThatAJobHoldsWaitsForTheJobThenCopiesOneState) {
    PgCluster* server = PgCluster::instance();
    ASSERT_NE(server, nullptr);
    QTemporaryDir dir;
    const sample::Result source = sampleIn(dir.filePath(QStringLiteral("a")), 1, server->freshDatabase());
    const QString copy = dir.filePath(QStringLiteral("copia.sqlite"));
    auto job = std::make_unique<Holder>(source.database);
    ASSERT_TRUE(job->held);

    QProcess importer;
    QString errors = startAndReadUntilWaiting(importer, {QStringLiteral("importar"), source.database, copy,
                                                         QStringLiteral("--espera"), QStringLiteral("30")});
    EXPECT_TRUE(errors.contains(QStringLiteral("Esperando a que termine otro proceso")))
        << errors.toStdString();
    EXPECT_FALSE(QFile::exists(copy));
    job.reset();
    ASSERT_TRUE(importer.waitForFinished(60000));
    errors += QString::fromUtf8(importer.readAllStandardError());
    EXPECT_EQ(importer.exitCode(), 0) << errors.toStdString();
    EXPECT_EQ(rowsOfEveryTable(copy), rowsOfEveryTable(source.database));
}

// Starts vexilo-cli with `args` and kills it after `ms` milliseconds, as a power cut or a user would.
void killHalfway(const QStringList& args, int ms) {
    QProcess cli;
    cli.start(QStringLiteral(VEXILO_CLI), args);
    ASSERT_TRUE(cli.waitForStarted());
    EXPECT_FALSE(cli.waitForFinished(ms)) << "it ended before it was killed";
    cli.kill();
    cli.waitForFinished(10000);
}

QByteArray contentsOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(DatabaseWriters, ASampleKilledHalfwayLeavesThePreviousOneWholeAndTheNextRunTidiesUp) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("muestra"));
    const sample::Result before = sampleIn(folder, 1);
    const QStringList rows = rowsOfEveryTable(before.database);
    const QByteArray drawing = contentsOf(before.drawing);

    killHalfway({QStringLiteral("demo"), folder, QStringLiteral("--elementos"), QStringLiteral("3000000")},
                1500);
    EXPECT_EQ(rowsOfEveryTable(before.database), rows);
    EXPECT_EQ(contentsOf(before.drawing), drawing);

    const CliOutput again = runCli({QStringLiteral("demo"), folder});
    EXPECT_EQ(again.state, 0) << again.errors.toStdString();
    EXPECT_TRUE(filesIn(folder, QStringLiteral("*.parcial*")).isEmpty())
        << filesIn(folder, QStringLiteral("*")).join(' ').toStdString();
}

// On a server the sample is one transaction: killed halfway it leaves no table, and runs again.
TEST(DatabaseWriters, ASampleKilledHalfwayOnAServerLeavesNoTableAndRunsAgain) {
    PgCluster* server = PgCluster::instance();
    ASSERT_NE(server, nullptr);
    QTemporaryDir dir;
    const QString database = server->freshDatabase();
    killHalfway({QStringLiteral("demo"), dir.path(), QStringLiteral("--elementos"), QStringLiteral("5000000"),
                 QStringLiteral("--bdd"), database},
                2000);
    EXPECT_TRUE(rowsOfEveryTable(database).isEmpty()) << rowsOfEveryTable(database).size();
    const CliOutput again = runCli({QStringLiteral("demo"), dir.path(), QStringLiteral("--bdd"), database});
    EXPECT_EQ(again.state, 0) << again.errors.toStdString();
}

}  // namespace
}  // namespace vexilo::testing
