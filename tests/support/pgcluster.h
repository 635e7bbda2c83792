#pragma once
// A throwaway PostgreSQL cluster for the tests of one process: initdb into a temporary folder, a server
// listening only on a Unix socket in that folder, started on first use and stopped and removed when the
// process ends. Each test process has its own (ctest runs them side by side). The server refuses to
// run as root, so as root it runs as the `postgres` user.
//
// Local connections are trusted, except for one user (passwordUser()) who must give passwordOf() so
// that a refused password can be tested. Missing server programs fail the test with a clear message.

#include <QString>

namespace vexilo::testing {

class PgCluster {
  public:
    // The cluster, started on the first call; nullptr (with the test failed) when it cannot start.
    static PgCluster* instance();

    // The folder that holds the server's socket.
    const QString& socketFolder() const { return m_folder; }
    // A URI for a database of the superuser, through the socket.
    QString uri(const QString& dbname) const;
    // A fresh database, empty, named for the test; returns its URI.
    QString freshDatabase();

    static QString passwordUser() { return QStringLiteral("vexilo_clave"); }
    static QString passwordOf() { return QStringLiteral("s3creta-Clave"); }

    ~PgCluster();

  private:
    PgCluster() = default;
    bool start(QString& why);
    void stop();
    void reapWithThisProcess(const QString& data) const;

    QString m_folder;
    QString m_bin;
    bool m_running = false;
    int m_databases = 0;
};

}  // namespace vexilo::testing
