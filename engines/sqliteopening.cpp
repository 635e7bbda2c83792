// Opening and creating database files of the embedded engine (SQLite).
//
// Durability: the database keeps the journal mode it has (a new database gets SQLite's default
// rollback journal) and SQLite's default synchronous=FULL. A killed process loses only the writes of a
// transaction it had not committed; a committed write survives a crash of the process and a loss of
// power. The write-ahead log is not turned on: it is a lasting property of the file, it needs shared
// memory that network folders do not give, and it leaves side files beside the user's database.

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QUrl>
#include <atomic>

#include "engines/connection.h"
#include "engines/dao.h"
#include "engines/dialect.h"
#include "engines/sqlite.h"

namespace vexilo::engines {

namespace {

// Every SQLite database file starts with these 16 bytes.
constexpr char kSqliteHeader[] = "SQLite format 3";  // and its terminating NUL
constexpr qint64 kSqliteHeaderSize = sizeof(kSqliteHeader);
static_assert(kSqliteHeaderSize == 16);

// A database of this process alone, in memory, gone when it closes; only ever created.
const QString kInMemory = QStringLiteral(":memory:");

QString newConnectionName() {
    static std::atomic<quint64> counter{0};
    return QStringLiteral("vexilo-sqlite-%1").arg(++counter);
}

bool hasSqliteHeader(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray head = file.read(kSqliteHeaderSize);
    return head.size() == kSqliteHeaderSize && std::equal(head.begin(), head.end(), kSqliteHeader);
}

// Opens a connection through a file URI whose mode says whether the file may be created: "rw" never
// creates one, even if the file vanished after it was checked.
std::shared_ptr<Connection> openFile(const QString& path, const QString& mode, int failureNumber,
                                     const QString& failureText) {
    const SqlDialect& dialect = sqliteDialect();
    const QString name = newConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driverName(), name);
        if (path == kInMemory) {
            db.setDatabaseName(path);
        } else {
            QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
            uri.setQuery(QStringLiteral("mode=") + mode);
            db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        }
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1")
                                 .arg(DBEngine::instance().busyTimeoutMs()));
        if (!db.open()) {
            const QSqlError error = db.lastError();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            bool numbered = false;
            const int native = error.nativeErrorCode().toInt(&numbered);
            throwEngineError(numbered && native != 0 ? native : failureNumber,
                             failureText.arg(path) + QLatin1Char(' ') + error.databaseText());
        }
    }
    auto connection = std::make_shared<Connection>(name, path, dialect);
    // Reading the schema proves that the file is a database the engine can use (not damaged, not
    // encrypted); its failure closes the connection again. A file locked by another program is a
    // database all the same, and says so.
    try {
        connection->tables(true);
        // A page cache of up to 16 MB (SQLite's default is 2 MB): the assignment pass writes into every
        // attribute table and the log inside one transaction, and a cache of the default size spills
        // dirty pages to the file and its journal again and again before the commit. Past 16 MB the
        // job gets no faster (measured with 64 MB: the same times at 1, 2 and 5 million elements) and
        // only holds more memory: 50 MB more at the peak of a 5,000,000-element job.
        connection->runOnce(QStringLiteral("PRAGMA cache_size = -16384"), QString());
    } catch (const EngineError& e) {
        const int primary = e.number() & 0xff;
        if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) {
            throwEngineError(errnum::kNotADatabase,
                             QStringLiteral("El fichero '%1' no es una base de datos que se pueda usar: %2")
                                 .arg(path, e.description()));
        }
        throwEngineError(
            e.number(),
            QStringLiteral("No se puede abrir la base de datos '%1': %2").arg(path, e.description()));
    }
    return connection;
}

}  // namespace

std::shared_ptr<Connection> openSqliteDatabase(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        throwEngineError(errnum::kDatabaseNotFound,
                         QStringLiteral("No se encuentra el fichero de base de datos '%1'.").arg(path));
    }
    if (!info.isFile()) {
        throwEngineError(
            errnum::kNotADatabase,
            QStringLiteral("'%1' no es un fichero de base de datos: es una carpeta, un dispositivo o "
                           "una tubería.")
                .arg(path));
    }
    if (!hasSqliteHeader(path)) {
        throwEngineError(errnum::kNotADatabase,
                         QStringLiteral("El fichero '%1' no es una base de datos reconocible.").arg(path));
    }
    return openFile(path, QStringLiteral("rw"), errnum::kFileAccess,
                    QStringLiteral("No se puede abrir la base de datos '%1' para leer y escribir."));
}

void dropSqliteDatabase(const QString& path) {
    if (path != kInMemory && QFileInfo::exists(path) && !QFile::remove(path)) {
        throwEngineError(errnum::kFileAccess,
                         QStringLiteral("No se puede borrar el fichero '%1'.").arg(path));
    }
}

std::shared_ptr<Connection> createSqliteDatabase(const QString& path) {
    if (path.isEmpty() || (path != kInMemory && QFileInfo::exists(path))) {
        throwEngineError(errnum::kDatabaseExists,
                         QStringLiteral("La base de datos '%1' ya existe.").arg(path));
    }
    std::shared_ptr<Connection> connection =
        openFile(path, QStringLiteral("rwc"), errnum::kFileAccess,
                 QStringLiteral("No se puede crear la base de datos '%1'."));
    // SQLite writes nothing until the first change; write the header now so that the new file is
    // recognised as a database at once.
    connection->runOnce(QStringLiteral("PRAGMA user_version = 0"), QString());
    return connection;
}

}  // namespace vexilo::engines
