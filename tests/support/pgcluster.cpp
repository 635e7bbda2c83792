#include "pgcluster.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace vexilo::testing {

namespace {

const QString kServerBin = QStringLiteral("/usr/lib/postgresql/15/bin");
const QString kServerUser = QStringLiteral("postgres");

bool runningAsRoot() {
    return ::geteuid() == 0;
}

// Starts a program with posix_spawn, its output to `output` when given. QProcess starts its children
// through vfork, whose child runs on the parent's memory, ThreadSanitizer's bookkeeping of the calling
// thread included: after it, the checker no longer saw that thread's locks and reported races that were
// none. posix_spawn runs only the C library in the child. Gives the child's pid, or -1.
pid_t spawn(const QStringList& args, const QString& output) {
    std::vector<QByteArray> bytes;
    for (const QString& a : args) {
        bytes.push_back(QFile::encodeName(a));
    }
    std::vector<char*> argv;
    for (QByteArray& b : bytes) {
        argv.push_back(b.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(output.isEmpty() ? QStringLiteral("/dev/null") : output);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Runs a program to its end; false with its output in `why`.
bool runProgram(const QStringList& command, QString& why) {
    QTemporaryFile output;
    if (!output.open()) {
        why = QStringLiteral("no temporary file for the output of ") + command.front();
        return false;
    }
    const pid_t pid = spawn(command, output.fileName());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        why =
            command.join(QLatin1Char(' ')) + QStringLiteral(": ") + QString::fromLocal8Bit(output.readAll());
        return false;
    }
    return true;
}

// Runs a server program (as the postgres user when we are root); false with its output in `why`.
bool runServerProgram(const QString& program, const QStringList& args, QString& why) {
    const QStringList asServer{QStringLiteral("runuser"), QStringLiteral("-u"), kServerUser,
                               QStringLiteral("--")};
    return runProgram((runningAsRoot() ? asServer : QStringList()) + QStringList{program} + args, why);
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
    spawn({QStringLiteral("/bin/sh"), QStringLiteral("-c"), script}, QString());
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
    QString chownFailure;
    if (runningAsRoot() && !runProgram({QStringLiteral("chown"), kServerUser, m_folder}, chownFailure)) {
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
