// Opening and creating databases on a PostgreSQL server.
//
// A connection that fails is looked at again through libpq to tell the user which of three things
// went wrong, without reading the words of libpq's message (they follow the server's and the client's
// language): a ping says whether a server answers at the address at all; when one does, a connection
// to its maintenance database "postgres" with the same credentials says whether the user and password
// are accepted; when they are, the server's list of databases says whether the database exists.

#include <libpq-fe.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <atomic>
#include <vector>

#include "engines/connection.h"
#include "engines/databasename.h"
#include "engines/postgres.h"

namespace vexilo::engines {

namespace {

const QString kMaintenanceDatabase = QStringLiteral("postgres");

QString newConnectionName() {
    static std::atomic<quint64> counter{0};
    return QStringLiteral("vexilo-server-%1").arg(++counter);
}

// A message from the server or from libpq, never with the password in it.
QString withoutPassword(QString text, const ServerAddress& a) {
    if (!a.password.isEmpty()) {
        text.replace(a.password, QStringLiteral("***"));
    }
    return text.trimmed();
}

// libpq's keyword/value arrays, alive as long as this object.
class Keywords {
  public:
    explicit Keywords(const std::map<QString, QString>& k) {
        for (const auto& [key, value] : k) {
            m_storage.push_back(key.toUtf8());
            m_storage.push_back(value.toUtf8());
        }
        for (std::size_t i = 0; i < m_storage.size(); i += 2) {
            m_keys.push_back(m_storage[i].constData());
            m_values.push_back(m_storage[i + 1].constData());
        }
        m_keys.push_back(nullptr);
        m_values.push_back(nullptr);
    }
    const char* const* keys() const { return m_keys.data(); }
    const char* const* values() const { return m_values.data(); }

  private:
    std::vector<QByteArray> m_storage;
    std::vector<const char*> m_keys;
    std::vector<const char*> m_values;
};

// A limit on the wait for a server that does not answer (libpq waits for ever by default), unless the
// URI gives its own.
std::map<QString, QString> withTimeout(std::map<QString, QString> k) {
    k.emplace(QStringLiteral("connect_timeout"),
              QString::number(DBEngine::instance().connectTimeoutSeconds()));
    return k;
}

// A libpq connection of its own, closed with this object.
class Link {
  public:
    Link(const ServerAddress& a, const QString& dbname) {
        const Keywords k(withTimeout(a.keywords(dbname)));
        m_conn = PQconnectdbParams(k.keys(), k.values(), 0);
    }
    ~Link() { PQfinish(m_conn); }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    bool ok() const { return m_conn != nullptr && PQstatus(m_conn) == CONNECTION_OK; }
    PGconn* get() const { return m_conn; }
    QString error() const { return QString::fromUtf8(PQerrorMessage(m_conn)); }

  private:
    PGconn* m_conn = nullptr;
};

[[noreturn]] void unreachable(const QString& shown, const QString& why) {
    throwEngineError(
        errnum::kServerUnreachable,
        QStringLiteral("No se puede conectar con el servidor de bases de datos '%1': %2").arg(shown, why));
}

[[noreturn]] void loginRefused(const QString& shown) {
    throwEngineError(
        errnum::kLoginRefused,
        QStringLiteral("El servidor de bases de datos rechaza el usuario o la contraseña de '%1'.")
            .arg(shown));
}

bool databaseExists(PGconn* conn, const QString& name) {
    const QByteArray n = name.toUtf8();
    const char* values[] = {n.constData()};
    PGresult* r = PQexecParams(conn, "SELECT 1 FROM pg_catalog.pg_database WHERE datname = $1", 1, nullptr,
                               values, nullptr, nullptr, 0);
    const bool found = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0;
    PQclear(r);
    return found;
}

// Why a connection to `dbname` failed; `libpqText` is what the failed connection said.
[[noreturn]] void diagnose(const ServerAddress& a, const QString& dbname, const QString& shown,
                           const QString& libpqText) {
    const Keywords k(withTimeout(a.keywords(dbname)));
    switch (PQpingParams(k.keys(), k.values(), 0)) {
        case PQPING_NO_RESPONSE:
            unreachable(shown, withoutPassword(libpqText, a));
        case PQPING_REJECT:
            unreachable(shown,
                        QStringLiteral("el servidor no admite conexiones ahora (arrancando o parándose)."));
        case PQPING_NO_ATTEMPT:
            unreachable(shown, QStringLiteral("la dirección no es válida: ") + withoutPassword(libpqText, a));
        case PQPING_OK:
            break;
    }
    const Link maintenance(a, kMaintenanceDatabase);
    if (!maintenance.ok()) {
        loginRefused(shown);
    }
    const QString name = dbname.isEmpty() ? QString::fromUtf8(PQuser(maintenance.get())) : dbname;
    if (!databaseExists(maintenance.get(), name)) {
        throwEngineError(errnum::kDatabaseNotFound,
                         QStringLiteral("No existe la base de datos '%1' en el servidor.").arg(name));
    }
    unreachable(shown, withoutPassword(libpqText, a));
}

// A parameter value as libpq's key=value list takes it (QtSql passes the options on unchanged).
QString quotedOption(QString value) {
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

QString connectOptions(const ServerAddress& a, const QString& shown) {
    QStringList options;
    for (const auto& [key, value] : withTimeout(a.others)) {
        if (key.contains(QLatin1Char(';')) || value.contains(QLatin1Char(';'))) {
            // The driver reads ';' as the end of an option whatever its quoting.
            unreachable(shown,
                        QStringLiteral("el parámetro '%1' lleva un ';', que no se puede pasar al servidor.")
                            .arg(key));
        }
        options << key + QLatin1Char('=') + quotedOption(value);
    }
    return options.join(QLatin1Char(';'));
}

}  // namespace

std::shared_ptr<Connection> openServerDatabase(const QString& uri) {
    const QString shown = shownDatabaseName(uri);
    const ServerAddress a = parseServerUri(uri);
    const SqlDialect& dialect = postgresDialect();
    const QString name = newConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driverName(), name);
        if (!db.isValid()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throwEngineError(
                errnum::kServerUnreachable,
                QStringLiteral("No se puede abrir la base de datos '%1': falta el controlador de "
                               "PostgreSQL de QtSql (QPSQL).")
                    .arg(shown));
        }
        db.setHostName(a.host);
        if (!a.port.isEmpty()) {
            db.setPort(a.port.toInt());
        }
        db.setUserName(a.user);
        db.setPassword(a.password);
        db.setDatabaseName(a.dbname);
        db.setConnectOptions(connectOptions(a, shown));
        if (!db.open()) {
            const QString text = db.lastError().databaseText().isEmpty() ? db.lastError().text()
                                                                         : db.lastError().databaseText();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            diagnose(a, a.dbname, shown, text);
        }
    }
    auto connection = std::make_shared<Connection>(name, shown, dialect);
    // The server's notices (an identifier cut to its length limit, ...) are not the user's business.
    connection->runOnce(QStringLiteral("SET client_min_messages TO warning"), QString());
    connection->tables(true);
    return connection;
}

namespace {

// Runs one statement on the server's maintenance database: what the server said when it refused it,
// an empty sqlstate when it was done.
ServerFailure onMaintenance(const ServerAddress& a, const QString& shown, const QString& sql) {
    const Link maintenance(a, kMaintenanceDatabase);
    if (!maintenance.ok()) {
        diagnose(a, kMaintenanceDatabase, shown, maintenance.error());
    }
    PGresult* r = PQexec(maintenance.get(), sql.toUtf8().constData());
    ServerFailure failure;
    if (PQresultStatus(r) != PGRES_COMMAND_OK) {
        failure.sqlstate = QString::fromLatin1(PQresultErrorField(r, PG_DIAG_SQLSTATE));
        failure.message = QString::fromUtf8(PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY));
        if (failure.sqlstate.isEmpty()) {
            failure.sqlstate = QStringLiteral("XX000");
        }
    }
    PQclear(r);
    return failure;
}

}  // namespace

void dropServerDatabase(const QString& uri) {
    const QString shown = shownDatabaseName(uri);
    const ServerAddress a = parseServerUri(uri);
    const ServerFailure failure = onMaintenance(
        a, shown, QLatin1String("DROP DATABASE IF EXISTS ") + postgresDialect().quoteIdentifier(a.dbname));
    if (!failure.sqlstate.isEmpty()) {
        throwServerError(failure, QString(), shown);
    }
}

std::shared_ptr<Connection> createServerDatabase(const QString& uri) {
    const QString shown = shownDatabaseName(uri);
    const ServerAddress a = parseServerUri(uri);
    if (a.dbname.isEmpty()) {
        throwEngineError(
            errnum::kDatabaseNotFound,
            QStringLiteral("La dirección '%1' no nombra ninguna base de datos que crear.").arg(shown));
    }
    const ServerFailure failure = onMaintenance(
        a, shown, QLatin1String("CREATE DATABASE ") + postgresDialect().quoteIdentifier(a.dbname));
    if (failure.sqlstate == QLatin1String("42P04")) {
        throwEngineError(errnum::kDatabaseExists,
                         QStringLiteral("La base de datos '%1' ya existe.").arg(shown));
    }
    if (!failure.sqlstate.isEmpty()) {
        throwServerError(failure, QString(), shown);
    }
    return openServerDatabase(uri);
}

}  // namespace vexilo::engines
