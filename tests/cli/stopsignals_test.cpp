// The polite stops: SIGTERM, SIGINT and SIGHUP end vexilo-cli as the window's close question ends a job.
// Whatever the command was doing (waiting for a database, in the middle of its pass or copy), it ends
// with one Spanish line and exit status 1, the database as it was, no partial file, and the old files of
// its names as they were.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

#include "app/fileselection.h"
#include "cli/cliprocess.h"
#include "support/dbdump.h"
#include "support/elementbuilder.h"
#include "support/pgcluster.h"
#include "tests/support/processerrors.h"
#include "tools/sample/sample.h"

namespace vexilo::testing {
namespace {

// Ends a process and tells what it printed on standard error after `read`.
QString finish(QProcess& p, QString read) {
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);  // it ended itself, the signal did not kill it
    return read + QString::fromUtf8(p.readAllStandardError());
}

// The state letter of a process in /proc: 'T' while it is stopped, 'Z' once it has ended.
char processState(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return '?';
    }
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')');
    return end >= 0 && end + 2 < line.size() ? line[end + 2] : '?';
}

QStringList partialsIn(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList({QStringLiteral("*.parcial*")}, QDir::Files | QDir::Hidden);
}

// Holds a database as a job does, until released.
class Holder {
  public:
    explicit Holder(const QString& database) {
        m_process.start(QStringLiteral(VEXILO_TEST_HOLD), {database});
        EXPECT_TRUE(m_process.waitForReadyRead(30000));
        EXPECT_EQ(m_process.readLine().trimmed(), QByteArray("held"));
    }
    ~Holder() {
        m_process.closeWriteChannel();
        m_process.waitForFinished(30000);
    }

  private:
    QProcess m_process;
};

struct Signal {
    int number;
    const char* name;
};

// A sample, an old output and an old report beside it: what a stopped job must leave as they were.
class StopSignals : public ::testing::TestWithParam<Signal> {
  protected:
    // On a database file, or on the database `server` names.
    void makeSample(std::int64_t elements, const QString& server = QString()) {
        sample::Options o;
        o.elements = elements;
        o.database = server;
        o.tables = elements > 100'000 ? 0 : 3;  // 0: as many as the texts need
        o.seed = 31;
        m_sample = sample::generate(m_dir.path(), o);
        m_output = app::outputNameOf(m_sample.drawing);
        writeFile(m_output, Bytes(100, 0x5a));
        writeFile(report(), Bytes(7, 0x7b));
        m_before = rowsOfEveryTable(m_sample.database, m_dir.path());
    }
    QString report() const { return m_dir.filePath(QStringLiteral("informe.json")); }
    QStringList processArgs() const {
        return {QStringLiteral("procesar"),
                QStringLiteral("--bdd"),
                m_sample.database,
                QStringLiteral("--bin"),
                m_sample.drawing,
                QStringLiteral("--informe"),
                report(),
                QStringLiteral("--espera"),
                QStringLiteral("60")};
    }
    // Starts the job, holds it still (SIGSTOP) when its first progress shows, so that the stop surely meets
    // it before its end, and sends `signal` twice: a second signal while it stops changes nothing.
    QString stopInItsPass(QProcess& p, int signal) {
        p.start(QStringLiteral(VEXILO_CLI), processArgs());
        const QString begun = readErrorsUntil(p, QStringLiteral(".bin: 0"));
        const auto pid = static_cast<pid_t>(p.processId());
        ::kill(pid, SIGSTOP);
        for (int i = 0; i < 100 && processState(pid) == 'R'; ++i) {
            QThread::msleep(10);  // the stop takes effect when the kernel next schedules it
        }
        EXPECT_EQ(processState(pid), 'T') << "the job ended before the signal: " << begun.toStdString();
        ::kill(pid, signal);
        ::kill(pid, signal);
        ::kill(pid, SIGCONT);
        const QString errors = finish(p, begun);
        EXPECT_FALSE(errors.contains(QStringLiteral("done"))) << errors.toStdString();
        return errors;
    }

    void expectNothingChanged(const QProcess& p, const QString& errors) {
        EXPECT_EQ(p.exitCode(), 1) << errors.toStdString();
        EXPECT_TRUE(errors.contains(QStringLiteral("Proceso interrumpido: ") + m_sample.drawing +
                                    QStringLiteral(" no se ha procesado; la base de datos y los ficheros de "
                                                   "salida quedan como estaban.\n")))
            << errors.toStdString();
        EXPECT_FALSE(errors.contains(QStringLiteral("Error"))) << errors.toStdString();
        EXPECT_FALSE(errors.contains(QStringLiteral("No se ha cambiado nada")))
            << errors.toStdString();  // said once
        EXPECT_EQ(rowsOfEveryTable(m_sample.database, m_dir.path()), m_before);
        EXPECT_EQ(readFile(m_output), Bytes(100, 0x5a));
        EXPECT_EQ(readFile(report()), Bytes(7, 0x7b));
        EXPECT_EQ(partialsIn(m_dir), QStringList{});
    }

    QTemporaryDir m_dir;
    sample::Result m_sample;
    QString m_output;
    QStringList m_before;
};

// While the job waits for the database its partial files already exist: the stop removes them.
TEST_P(StopSignals, AJobWaitingForItsDatabaseEndsAndLeavesEverythingAsItWas) {
    makeSample(3000);
    auto holder = std::make_unique<Holder>(m_sample.database);
    QProcess p;
    p.start(QStringLiteral(VEXILO_CLI), processArgs());
    const QString waited = readErrorsUntil(p, QStringLiteral("Esperando"));
    ASSERT_TRUE(waited.contains(QStringLiteral("Esperando"))) << waited.toStdString();
    const QString pid = QString::number(p.processId());
    EXPECT_TRUE(QFile::exists(m_output + QStringLiteral(".parcial-") + pid));
    EXPECT_TRUE(QFile::exists(report() + QStringLiteral(".parcial-") + pid));
    ::kill(static_cast<pid_t>(p.processId()), GetParam().number);
    const QString errors = finish(p, waited);
    holder.reset();
    expectNothingChanged(p, errors);
}

// In the middle of the pass, with records already written in the transaction.
TEST_P(StopSignals, AJobInTheMiddleOfItsPassEndsAndLeavesEverythingAsItWas) {
    makeSample(1'000'000);
    QProcess p;
    const QString errors = stopInItsPass(p, GetParam().number);
    expectNothingChanged(p, errors);
}

// The same on a server, where the job's writer thread holds rows and batches not yet answered when the
// stop comes: none of them is kept.
TEST_P(StopSignals, AServerJobInTheMiddleOfItsPassEndsAndLeavesEverythingAsItWas) {
    PgCluster* server = PgCluster::instance();
    ASSERT_NE(server, nullptr);
    makeSample(1'000'000, server->freshDatabase());
    QProcess p;
    const QString errors = stopInItsPass(p, GetParam().number);
    expectNothingChanged(p, errors);
}

// An import waiting for its source has its temporary database open: it goes, and the old destination
// stays with no backup beside it.
TEST_P(StopSignals, AnImportEndsWithTheDestinationAsItWas) {
    makeSample(3000);
    const QString destination = m_dir.filePath(QStringLiteral("copia.sqlite"));
    writeFile(destination, Bytes(9, 0x11));
    auto holder = std::make_unique<Holder>(m_sample.database);
    QProcess p;
    p.start(QStringLiteral(VEXILO_CLI),
            {QStringLiteral("importar"), m_sample.database, destination, QStringLiteral("--forzar")});
    const QString waited = readErrorsUntil(p, QStringLiteral("Esperando"));
    ASSERT_TRUE(waited.contains(QStringLiteral("Esperando"))) << waited.toStdString();
    EXPECT_TRUE(QFile::exists(destination + QStringLiteral(".parcial-") + QString::number(p.processId())));
    ::kill(static_cast<pid_t>(p.processId()), GetParam().number);
    const QString errors = finish(p, waited);
    EXPECT_EQ(p.exitCode(), 1) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("Importación interrumpida: no se ha importado nada; ") +
                                destination + QStringLiteral(" queda como estaba.\n")))
        << errors.toStdString();
    EXPECT_EQ(readFile(destination), Bytes(9, 0x11));
    EXPECT_EQ(partialsIn(m_dir), QStringList{});
    EXPECT_TRUE(QDir(m_dir.path()).entryList({QStringLiteral("*.bak")}).isEmpty());
}

// A sample over an old one, waiting for a job on the old database, ends with the old sample whole.
TEST_P(StopSignals, ASampleEndsWithTheOldSampleWhole) {
    makeSample(3000);
    const Bytes drawing = readFile(m_sample.drawing);
    auto holder = std::make_unique<Holder>(m_sample.database);
    QProcess p;
    p.start(QStringLiteral(VEXILO_CLI),
            {QStringLiteral("demo"), m_dir.path(), QStringLiteral("--semilla"), QStringLiteral("5"),
             QStringLiteral("--espera"), QStringLiteral("60")});
    const QString waited = readErrorsUntil(p, QStringLiteral("Esperando"));
    ASSERT_TRUE(waited.contains(QStringLiteral("Esperando"))) << waited.toStdString();
    ::kill(static_cast<pid_t>(p.processId()), GetParam().number);
    const QString errors = finish(p, waited);
    holder.reset();
    EXPECT_EQ(p.exitCode(), 1) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("Muestra interrumpida: "))) << errors.toStdString();
    EXPECT_EQ(rowsOfEveryTable(m_sample.database, m_dir.path()), m_before);
    EXPECT_EQ(readFile(m_sample.drawing), drawing);
    EXPECT_EQ(partialsIn(m_dir), QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignals,
                         ::testing::Values(Signal{SIGTERM, "SIGTERM"}, Signal{SIGINT, "SIGINT"},
                                           Signal{SIGHUP, "SIGHUP"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vexilo::testing
