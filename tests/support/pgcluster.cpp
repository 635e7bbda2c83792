#include "pgcluster.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>
#include <memory>

#include <gtest/gtest.h>

namespace vexilo::testing {

namespace {

const QString kServerBin = QStringLiteral("/usr/lib/postgresql/15/bin");
const QString kServerUser = QStringLiteral("postgres");

bool runningAsRoot() {
    return ::geteuid() == 0;
}

// Runs a server program (as the postgres user when we are root); false with its output in `why`.
bool runServerProgram(const QString& program, const QStringList& args, QString& why) {
    QProcess p;
    if (runningAsRoot()) {
        p.start(QStringLiteral("runuser"),
                QStringList{QStringLiteral("-u"), kServerUser, QStringLiteral("--"), program} + args);
    } else {
        p.start(program, args);
    }
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        why = program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAllStandardError()) +
              QString::fromLocal8Bit(p.readAllStandardOutput()) + p.errorString();
        return false;
    }
    return true;
}

}  // namespace

// A test process that dies without running its destructors (a crash, a sanitizer's abort, a kill) must
// not leave its server running for ever: a small watcher stops the server and removes its folder once
// this process is gone. After a normal end it finds nothing left to do.
void PgCluster::reapWithThisProcess(const QString& data) const {
    const QString stop =
        (runningAsRoot() ? QStringLiteral("runuser -u %1 -- ").arg(kServerUser) : QString()) + kServerBin +
        QStringLiteral("/pg_ctl -D '%1' -m immediate stop").arg(data);
    const QString script = QStringLiteral(
                               "while kill -0 %1 2>/dev/null; do sleep 2; done; %2 >/dev/null 2>&1; "
                               "rm -rf '%3'")
                               .arg(QString::number(::getpid()), stop, m_folder);
    QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
}

PgCluster* PgCluster::instance() {
    static std::unique_ptr<PgCluster> cluster;
    static QString failure;
    if (!cluster && failure.isEmpty()) {
        std::unique_ptr<PgCluster> c(new PgCluster);
        if (c->start(failure)) {
            cluster = std::move(c);
        } else if (failure.isEmpty()) {
            failure = QStringLiteral("unknown failure");
        }
    }
    if (!cluster) {
        ADD_FAILURE() << "The PostgreSQL test server cannot start (run scripts/install-dependencies.sh): "
                      << failure.toStdString();
    }
    return cluster.get();
}

bool PgCluster::start(QString& why) {
    if (!QFileInfo::exists(kServerBin + QStringLiteral("/initdb"))) {
        why = QStringLiteral("no PostgreSQL server programs in ") + kServerBin;
        return false;
    }
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/vexilo-pg-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        why = QStringLiteral("no temporary folder");
        return false;
    }
    m_folder = QString::fromLocal8Bit(pattern);
    if (runningAsRoot() && QProcess::execute(QStringLiteral("chown"), {kServerUser, m_folder}) != 0) {
        why = QStringLiteral("cannot give ") + m_folder + QStringLiteral(" to the postgres user");
        return false;
    }
    const QString data = m_folder + QStringLiteral("/data");
    if (!runServerProgram(kServerBin + QStringLiteral("/initdb"),
                          {QStringLiteral("-D"), data, QStringLiteral("-U"), kServerUser,
                           QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                           QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
                           QStringLiteral("--no-sync"), QStringLiteral("--no-instructions")},
                          why)) {
        return false;
    }
    // The one user that must give a password, before every other local user, who is trusted.
    QFile hba(data + QStringLiteral("/pg_hba.conf"));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        why = QStringLiteral("cannot write pg_hba.conf");
        return false;
    }
    hba.write(("local all " + passwordUser().toUtf8() + " scram-sha-256\nlocal all all trust\n"));
    hba.close();
    const QString options = QStringLiteral(
                                "-c listen_addresses='' -c unix_socket_directories='%1' -c fsync=off "
                                "-c synchronous_commit=off -c full_page_writes=off")
                                .arg(m_folder);
    if (!runServerProgram(
            kServerBin + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), data, QStringLiteral("-l"), m_folder + QStringLiteral("/server.log"),
             QStringLiteral("-w"), QStringLiteral("-o"), options, QStringLiteral("start")},
            why)) {
        return false;
    }
    m_running = true;
    reapWithThisProcess(data);
    return runServerProgram(
        kServerBin + QStringLiteral("/psql"),
        {QStringLiteral("-h"), m_folder, QStringLiteral("-U"), kServerUser, QStringLiteral("-d"),
         QStringLiteral("postgres"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
         QStringLiteral("-q"), QStringLiteral("-c"),
         QStringLiteral("CREATE ROLE %1 LOGIN SUPERUSER PASSWORD '%2'").arg(passwordUser(), passwordOf())},
        why);
}

void PgCluster::stop() {
    if (m_running) {
        QString why;
        runServerProgram(kServerBin + QStringLiteral("/pg_ctl"),
                         {QStringLiteral("-D"), m_folder + QStringLiteral("/data"), QStringLiteral("-m"),
                          QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")},
                         why);
        m_running = false;
    }
    if (!m_folder.isEmpty()) {
        QDir(m_folder).removeRecursively();
    }
}

PgCluster::~PgCluster() {
    stop();
}

QString PgCluster::uri(const QString& dbname) const {
    return QStringLiteral("postgresql://%1@/%2?host=%3")
        .arg(kServerUser, dbname, QString::fromUtf8(QUrl::toPercentEncoding(m_folder)));
}

QString PgCluster::freshDatabase() {
    const QString name = QStringLiteral("prueba_%1").arg(++m_databases);
    QString why;
    if (!runServerProgram(kServerBin + QStringLiteral("/createdb"),
                          {QStringLiteral("-h"), m_folder, QStringLiteral("-U"), kServerUser, name}, why)) {
        ADD_FAILURE() << "cannot create a test database: " << why.toStdString();
    }
    return uri(name);
}

}  // namespace vexilo::testing
