#include "import/sqlitedestination.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace vexilo::importer {
namespace {

using stream::ColumnKind;

QString quote(const QString& name) {
    QString n = name;
    return QChar('"') + n.replace(QChar('"'), QStringLiteral("\"\"")) + QChar('"');
}

QString sqlType(const StreamColumn& c) {
    switch (c.tipo) {
        case ColumnKind::LongInteger:
            return QStringLiteral("INTEGER");
        case ColumnKind::Byte:
        case ColumnKind::Integer:
            // Access's Integer and Byte are 16-bit and 8-bit: declared as the engine declares a 16-bit field.
            return QStringLiteral("SMALLINT");
        case ColumnKind::Currency:
        case ColumnKind::Simple:
        case ColumnKind::Double:
        case ColumnKind::Numeric:
            return QStringLiteral("REAL");
        case ColumnKind::Fecha:
            return QStringLiteral("DATETIME");
        case ColumnKind::Boolean:
            return QStringLiteral("BOOLEAN");
        case ColumnKind::Text:
            return QStringLiteral("VARCHAR(%1)").arg(c.size);
        case ColumnKind::Memo:
        case ColumnKind::Guid:
            return QStringLiteral("TEXT");
        case ColumnKind::Ole:
        case ColumnKind::Binary:
            return QStringLiteral("BLOB");
    }
    return QStringLiteral("TEXT");
}

// The limits Access keeps, written as the engine layer writes them for the fields it creates, so a
// value the Access file would refuse is refused here too.
QString constraint(const StreamColumn& c) {
    const QString col = quote(c.name);
    const QString name = QStringLiteral(" CONSTRAINT ") + col + QChar(' ');
    auto range = [&](qint64 from, qint64 until) {
        return name + QStringLiteral("CHECK (") + col + QStringLiteral(" IS NULL OR (typeof(") + col +
               QStringLiteral(") = 'integer' AND ") + col + QStringLiteral(" BETWEEN ") +
               QString::number(from) + QStringLiteral(" AND ") + QString::number(until) +
               QStringLiteral("))");
    };
    switch (c.tipo) {
        case ColumnKind::Byte:
            return range(0, 255);
        case ColumnKind::Integer:
            return range(-32768, 32767);
        case ColumnKind::LongInteger:
            return range(-2147483648LL, 2147483647LL);
        case ColumnKind::Text:
            return name + QStringLiteral("CHECK (length(") + col + QStringLiteral(") <= ") +
                   QString::number(c.size) + QChar(')');
        default:
            return {};
    }
}

}  // namespace

SqliteDestination::SqliteDestination(const QString& path, const QString& name)
    : m_connection(QUuid::createUuid().toString()), m_name(name) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    if (!db.open()) {
        failure(db.lastError().text());
    }
    run(QStringLiteral("PRAGMA journal_mode=OFF"));
    run(QStringLiteral("PRAGMA synchronous=OFF"));
    // The first statement is where SQLite creates the file: a folder that refuses it fails here.
    run(QStringLiteral("PRAGMA user_version=0"));
    db.transaction();
}

SqliteDestination::~SqliteDestination() {
    m_insert.reset();
    { QSqlDatabase::database(m_connection, false).close(); }
    QSqlDatabase::removeDatabase(m_connection);
}

void SqliteDestination::beginTable(const StreamTable& t) {
    QStringList defs;
    QStringList marks;
    for (const StreamColumn& c : t.columns) {
        defs << quote(c.name) + QChar(' ') + sqlType(c) + constraint(c);
        marks << QStringLiteral("?");
    }
    run(QStringLiteral("CREATE TABLE %1 (%2)").arg(quote(t.name), defs.join(QStringLiteral(", "))));
    m_insert = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connection, false));
    if (!m_insert->prepare(
            QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quote(t.name), marks.join(QChar(','))))) {
        failure(m_insert->lastError().text());
    }
}

void SqliteDestination::row(const std::vector<QVariant>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        m_insert->bindValue(static_cast<int>(i), values[i]);
    }
    if (!m_insert->exec()) {
        failure(m_insert->lastError().text());
    }
}

std::int64_t SqliteDestination::storedRows(const QString& table) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT count(*) FROM ") + quote(table)) || !q.next()) {
        failure(q.lastError().text());
    }
    return q.value(0).toLongLong();
}

void SqliteDestination::finish() {
    m_insert.reset();
    if (!QSqlDatabase::database(m_connection, false).commit()) {
        failure(QSqlDatabase::database(m_connection, false).lastError().text());
    }
}

void SqliteDestination::run(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(sql)) {
        failure(q.lastError().text());
    }
}

void SqliteDestination::failure(const QString& cause) const {
    throw ImportError(QStringLiteral("No se puede escribir la base de datos nueva %1: %2")
                          .arg(QDir::toNativeSeparators(m_name), cause));
}

}  // namespace vexilo::importer
