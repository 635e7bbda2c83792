// What happens around a job, run as a user runs it: every wait is announced and bounded, no password
// shows, a pipe is refused at once, the run log names a drawing the same way from any folder, and a lost
// server connection says so in one Spanish message.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <chrono>
#include <thread>

#include "app/fileselection.h"
#include "cli/cliprocess.h"
#include "engines/dao.h"
#include "support/dbdump.h"
#include "support/dbfixture.h"
#include "support/pgcluster.h"
#include "tests/support/processerrors.h"
#include "tools/sample/sample.h"

namespace vexilo::testing {
namespace {

sample::Result smallSample(const QString& folder, Engine engine) {
    sample::Options o;
    o.elements = 600;
    o.texts = 120;
    o.tables = 3;
    o.seed = 5;
    if (engine == Engine::Postgres) {
        PgCluster* server = PgCluster::instance();
        o.database = server ? server->freshDatabase() : QString();
    }
    return sample::generate(folder, o);
}

QStringList processArgs(const QString& db, const QString& bin, const char* wait) {
    return {QStringLiteral("procesar"), QStringLiteral("-q"),
            QStringLiteral("--bdd"),    db,
            QStringLiteral("--bin"),    bin,
            QStringLiteral("--espera"), QString::fromLatin1(wait)};
}

int logRows(const QString& db) {
    auto bd = engines::DBEngine::instance().Workspaces(0).OpenDatabase(db);
    const int n = static_cast<int>(bd->ReadRows(QStringLiteral("CONTROLPROCESO"), {}).size());
    bd->Close();
    return n;
}

// A libpq session of the test's own on a server database, for holding what another program would.
class OtherProgram {
  public:
    explicit OtherProgram(const QString& uri) : m_conn(PQconnectdb(uri.toUtf8().constData())) {}
    ~OtherProgram() { PQfinish(m_conn); }
    bool run(const char* sql) {
        PGresult* r = PQexec(m_conn, sql);
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
        PQclear(r);
        return ok;
    }

  private:
    PGconn* m_conn;
};

// On SQLite in WAL mode another program's open read keeps the job from its exclusive lock: the job says
// it waits and gives up at its own limit, not at SQLite's five seconds; once the read ends it goes on.
TEST(AroundTheJob, AReaderOfAWalDatabaseIsWaitedForWithANoticeUpToTheJobsLimit) {
    QTemporaryDir dir;
    const sample::Result s = smallSample(dir.path(), Engine::Sqlite);
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(s.database).constData(), &reader), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "PRAGMA journal_mode=WAL; BEGIN; SELECT count(*) FROM MsCatalog;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);

    QElapsedTimer clock;
    clock.start();
    const CliOutput refused = runCli(processArgs(s.database, s.drawing, "2"));
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_EQ(refused.state, 1);
    EXPECT_TRUE(refused.errors.contains(QStringLiteral("Esperando a que termine otro proceso")))
        << refused.errors.toStdString();
    EXPECT_TRUE(refused.errors.contains(QStringLiteral("después de esperar 2 segundos")))
        << refused.errors.toStdString();
    EXPECT_FALSE(QFile::exists(app::outputNameOf(s.drawing)));

    // The read ends after a while: the job waits for it and runs.
    // The other program ends its read and lets the database go after a while: the job waits for it and
    // runs.
    std::thread endRead([reader] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(reader);
    });
    const CliOutput done = runCli(processArgs(s.database, s.drawing, "30"));
    endRead.join();
    EXPECT_EQ(done.state, 0) << done.errors.toStdString();
    EXPECT_TRUE(done.errors.contains(QStringLiteral("Esperando a que termine otro proceso")))
        << done.errors.toStdString();
    EXPECT_GT(logRows(s.database), 0);
}

// A table that another program locks on the server, and then a server that stops answering: the job says
// it waits, ends at its limit with nothing written, and says why in Spanish, with no driver noise.
TEST(AroundTheJob, ALockedTableOrASilentServerEndsTheWaitAtTheLimit) {
    QTemporaryDir dir;
    const sample::Result s = smallSample(dir.path(), Engine::Postgres);
    const QStringList before = rowsOfEveryTable(s.database, dir.path());
    OtherProgram other(s.database);
    ASSERT_TRUE(other.run("BEGIN"));
    ASSERT_TRUE(other.run("LOCK TABLE \"MsCatalog\" IN ACCESS EXCLUSIVE MODE"));

    QElapsedTimer clock;
    clock.start();
    const CliOutput locked = runCli(processArgs(s.database, s.drawing, "3"));
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_EQ(locked.state, 1);
    EXPECT_TRUE(locked.errors.contains(QStringLiteral("Esperando a que termine otro proceso")))
        << locked.errors.toStdString();
    EXPECT_TRUE(locked.errors.contains(QStringLiteral("después de esperar 3 segundos")))
        << locked.errors.toStdString();

    // The server's processes stop while a job waits on the lock: the job cannot even ask why it waits.
    QProcess job;
    job.start(QStringLiteral(VEXILO_CLI), processArgs(s.database, s.drawing, "4"));
    QString errors = readErrorsUntil(job, QStringLiteral("Esperando"));
    const QString folder = PgCluster::instance()->socketFolder();
    QProcess::execute(QStringLiteral("pkill"), {QStringLiteral("-STOP"), QStringLiteral("-f"), folder});
    const bool ended = job.state() == QProcess::NotRunning || job.waitForFinished(30000);
    QProcess::execute(QStringLiteral("pkill"), {QStringLiteral("-CONT"), QStringLiteral("-f"), folder});
    ASSERT_TRUE(ended);
    errors += QString::fromUtf8(job.readAllStandardError());
    EXPECT_EQ(job.exitCode(), 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("después de esperar 4 segundos"))) << errors.toStdString();
    for (const char* noise : {"QSqlQuery", "Unable to", "server closed", "database not open"}) {
        EXPECT_FALSE(errors.contains(QString::fromLatin1(noise))) << errors.toStdString();
    }
    ASSERT_TRUE(other.run("ROLLBACK"));
    EXPECT_EQ(rowsOfEveryTable(s.database, dir.path()), before);
}

// A session ended by the server mid-job: one Spanish message, the same number every time.
TEST(AroundTheJob, ALostServerConnectionIsOneSpanishMessage) {
    QTemporaryDir dir;
    const sample::Result s = smallSample(dir.path(), Engine::Postgres);
    OtherProgram other(s.database);
    ASSERT_TRUE(other.run("BEGIN"));
    ASSERT_TRUE(other.run("LOCK TABLE \"MsCatalog\" IN ACCESS EXCLUSIVE MODE"));
    QProcess job;
    job.start(QStringLiteral(VEXILO_CLI), processArgs(s.database, s.drawing, "60"));
    QString errors = readErrorsUntil(job, QStringLiteral("Esperando"));
    OtherProgram admin(s.database);
    ASSERT_TRUE(
        admin.run("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name <> "
                  "'vexilo-watchdog' AND pid <> pg_backend_pid() AND backend_type = 'client backend' "
                  "AND wait_event_type = 'Lock'"));
    ASSERT_TRUE(job.state() == QProcess::NotRunning || job.waitForFinished(30000));
    errors += QString::fromUtf8(job.readAllStandardError());
    ASSERT_TRUE(other.run("ROLLBACK"));
    EXPECT_EQ(job.exitCode(), 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("Error %1").arg(engines::errnum::kServerUnreachable)))
        << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("Se ha perdido la conexión"))) << errors.toStdString();
    for (const char* noise : {"QSqlQuery", "Unable to", "terminating connection", "database not open"}) {
        EXPECT_FALSE(errors.contains(QString::fromLatin1(noise))) << errors.toStdString();
    }
}

// A password with '#' or '?' (read by libpq as part of the password) never shows: not in the waiting
// notice, not in a failure's message, of procesar, importar or demo.
TEST(AroundTheJob, APasswordNeverShowsWhateverItHolds) {
    QTemporaryDir dir;
    PgCluster* server = PgCluster::instance();
    ASSERT_NE(server, nullptr);
    const sample::Result s = smallSample(dir.path(), Engine::Postgres);
    const QString secret = QStringLiteral("12#ab?cd");
    QUrl url(s.database);
    const QString withPassword = QStringLiteral("postgresql://postgres:%1@/%2?%3")
                                     .arg(secret, url.path().mid(1), url.query(QUrl::FullyDecoded));
    QProcess holder;
    holder.start(QStringLiteral(VEXILO_TEST_HOLD), {s.database});
    ASSERT_TRUE(holder.waitForReadyRead(30000));
    const CliOutput waited = runCli(processArgs(withPassword, s.drawing, "1"));
    holder.closeWriteChannel();
    holder.waitForFinished(30000);
    const CliOutput missing =
        runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"),
                QString(withPassword).replace(url.path().mid(1), QStringLiteral("no_existe")),
                QStringLiteral("--bin"), s.drawing});
    const CliOutput imported =
        runCli({QStringLiteral("importar"), withPassword, dir.path() + QStringLiteral("/no/x.sqlite")});
    const CliOutput demo = runCli({QStringLiteral("demo"), dir.path() + QStringLiteral("/demo"),
                                   QStringLiteral("--bdd"), withPassword});
    for (const CliOutput* o : {&waited, &missing, &imported, &demo}) {
        EXPECT_NE(o->state, 0);
        EXPECT_FALSE(o->errors.isEmpty());
        for (const char* part : {"12#ab", "ab?cd", "?cd"}) {
            EXPECT_FALSE((o->errors + o->output).contains(QString::fromLatin1(part)))
                << o->errors.toStdString();
        }
    }
    EXPECT_TRUE(waited.errors.contains(QStringLiteral("Esperando"))) << waited.errors.toStdString();
}

// Anything that is not a regular file is refused at once, never read (a pipe would wait for a writer).
TEST(AroundTheJob, APipeForADatabaseIsRefusedAtOnce) {
    QTemporaryDir dir;
    const sample::Result s = smallSample(dir.path(), Engine::Sqlite);
    const QString fifo = dir.filePath(QStringLiteral("tuberia"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    const CliOutput processed = runCli(processArgs(fifo, s.drawing, "1"));
    const CliOutput imported =
        runCli({QStringLiteral("importar"), fifo, dir.filePath(QStringLiteral("x.sqlite"))});
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(processed.state, 1);
    EXPECT_TRUE(processed.errors.contains(QStringLiteral("no es un fichero de base de datos")))
        << processed.errors.toStdString();
    EXPECT_EQ(imported.state, 1);
}

// The run log matches a drawing by its path: a second job run from another folder, naming the drawing
// another way, logs exactly what a second job naming it the same way logs.
TEST(AroundTheJob, TheRunLogNamesADrawingByItsFullPathFromAnyFolder) {
    auto twoJobs = [](const QString& secondFolder, const QString& secondDb, const QString& secondBin) {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        const sample::Result s = smallSample(dir.filePath(QStringLiteral("sub")), Engine::Sqlite);
        const QStringList first{QStringLiteral("procesar"), QStringLiteral("-q"),
                                QStringLiteral("--bdd"),    QStringLiteral("sub/muestra.sqlite"),
                                QStringLiteral("--bin"),    QStringLiteral("sub/muestra.bin")};
        EXPECT_EQ(runCli(first, dir.path()).state, 0);
        const QStringList second{QStringLiteral("procesar"), QStringLiteral("-q"),
                                 QStringLiteral("--bdd"),    secondDb,
                                 QStringLiteral("--bin"),    secondBin};
        EXPECT_EQ(runCli(second, dir.filePath(secondFolder)).state, 0);
        return rowsOfEveryTable(s.database, dir.path());
    };
    const QStringList sameWay =
        twoJobs(QString(), QStringLiteral("sub/muestra.sqlite"), QStringLiteral("sub/muestra.bin"));
    const QStringList fromSub =
        twoJobs(QStringLiteral("sub"), QStringLiteral("muestra.sqlite"), QStringLiteral("muestra.bin"));
    EXPECT_EQ(fromSub, sameWay);
    EXPECT_TRUE(fromSub.join(QLatin1Char('\n')).contains(QStringLiteral("<dir>/sub/muestra.bin")))
        << "the log holds the drawing's full path";
}

}  // namespace
}  // namespace vexilo::testing
