#include "platform/connection.h"

#include <QSqlError>

namespace vexilo::platform {

namespace {
const QString kCheckFailed = QStringLiteral("CHECK constraint failed: ");
}

void throwEngineError(int number, const QString& description) {
    throw EngineError(number, description);
}

namespace {

// SQLite's primary result codes that say something about the file rather than the statement.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteFull = 13;

// One sentence naming the file and the cause, for the failures a user can act on; empty otherwise.
QString fileCause(int primary, const QString& path) {
    switch (primary) {
        case kSqliteReadOnly:
            return QStringLiteral(
                       "No se puede escribir en la base de datos '%1': el fichero o su carpeta "
                       "son de solo lectura.")
                .arg(path);
        case kSqliteFull:
            return QStringLiteral("No se puede escribir en la base de datos '%1': el disco está lleno.")
                .arg(path);
        case kSqliteBusy:
        case kSqliteLocked:
            return QStringLiteral("La base de datos '%1' está bloqueada por otro proceso.").arg(path);
        default:
            return {};
    }
}

}  // namespace

void throwStatementError(const QSqlError& error, const QString& table, const QString& path) {
    bool numbered = false;
    int number = error.nativeErrorCode().toInt(&numbered);
    if (!numbered || number == 0) {
        number = errnum::kEngineFailure;
    }
    const QString engineText = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    // A refused value names its column: every check the layer writes is named after its column.
    if (engineText.startsWith(kCheckFailed)) {
        const QString field = engineText.mid(kCheckFailed.size());
        throwEngineError(
            number,
            QStringLiteral("El valor no es admisible en el campo '%1' de la tabla '%2'.").arg(field, table));
    }
    const QString cause = fileCause(number & 0xff, path);
    if (!cause.isEmpty()) {
        throwEngineError(number,
                         table.isEmpty() ? cause : cause + QStringLiteral(" (tabla '%1')").arg(table));
    }
    if (table.isEmpty()) {
        throwEngineError(
            number, QStringLiteral("Error del motor en la base de datos '%1': %2").arg(path, engineText));
    }
    throwEngineError(number, QStringLiteral("Error del motor de base de datos en la tabla '%1' de '%2': %3")
                                 .arg(table, path, engineText));
}

void SqlDialect::raise(const QSqlError& error, const QString& table, const QString& path) const {
    throwStatementError(error, table, path);
}

Connection::Connection(QString connectionName, QString path, const SqlDialect& dialect)
    : m_name(std::move(connectionName)), m_path(std::move(path)), m_dialect(dialect) {
    m_native = m_dialect.nativeWrites(handle(), m_path);
}

Connection::~Connection() {
    try {
        close();
    } catch (...) {
        // A destructor cannot report: an uncommitted transaction is rolled back by the engine when the
        // connection goes. Close() called explicitly reports such failures.
        m_open = false;
        releaseStatements();
        QSqlDatabase::removeDatabase(m_name);
    }
}

QSqlDatabase Connection::handle() const {
    return QSqlDatabase::database(m_name, false);
}

void Connection::requireOpen() const {
    if (!m_open) {
        throwEngineError(errnum::kObjectClosed,
                         QStringLiteral("La base de datos '%1' ya está cerrada.").arg(m_path));
    }
}

QSqlQuery& Connection::prepared(const QString& sql, const QString& table) {
    requireOpen();
    auto found = m_statements.find(sql);
    if (found != m_statements.end()) {
        return *found->second;
    }
    auto query = std::make_unique<QSqlQuery>(handle());
    query->setForwardOnly(true);
    if (!query->prepare(sql)) {
        m_dialect.raise(query->lastError(), table, m_path);
    }
    return *m_statements.emplace(sql, std::move(query)).first->second;
}

void Connection::flushWrites() {
    if (m_native) {
        m_native->flush();
    }
}

void Connection::run(QSqlQuery& query, const QString& table) {
    flushWrites();
    if (!query.exec()) {
        const QSqlError error = query.lastError();
        query.finish();
        m_dialect.raise(error, table, m_path);
    }
}

bool Connection::readAllNative(const QString& sql, const QString& table,
                               const NativeWrites::RowReceiver& row) {
    requireOpen();
    if (!m_native) {
        return false;
    }
    flushWrites();
    return m_native->readAll(sql, table, row);
}

void Connection::finishReading(QSqlQuery& query, const QString& table) {
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid()) {
        m_dialect.raise(error, table, m_path);
    }
}

void Connection::runOnce(const QString& sql, const QString& table) {
    requireOpen();
    flushWrites();
    QSqlQuery query(handle());
    if (!query.exec(sql)) {
        m_dialect.raise(query.lastError(), table, m_path);
    }
}

const std::vector<QString>& Connection::tables(bool reread) {
    requireOpen();
    if (m_tablesRead && !reread) {
        return m_tables;
    }
    QSqlQuery& query = prepared(m_dialect.listTablesSql(), QStringLiteral("sqlite_master"));
    run(query, QStringLiteral("sqlite_master"));
    m_tables.clear();
    while (query.next()) {
        m_tables.push_back(query.value(0).toString());
    }
    finishReading(query, QStringLiteral("sqlite_master"));
    m_tablesRead = true;
    return m_tables;
}

QString Connection::resolveTable(const QString& name) {
    requireOpen();
    auto known = m_resolvedTables.find(name);
    if (known != m_resolvedTables.end()) {
        return known->second;
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (const QString& t : tables(pass == 1)) {
            if (t.compare(name, Qt::CaseInsensitive) == 0) {
                m_resolvedTables.emplace(name, t);
                return t;
            }
        }
    }
    throwEngineError(
        errnum::kTableNotFound,
        QStringLiteral("No se encuentra la tabla '%1' en la base de datos '%2'.").arg(name, m_path));
}

const std::vector<FieldDef>& Connection::columns(const QString& storedTable) {
    auto found = m_columns.find(storedTable);
    if (found != m_columns.end()) {
        return found->second;
    }
    QSqlQuery& query = prepared(m_dialect.listColumnsSql(), storedTable);
    query.bindValue(0, storedTable);
    run(query, storedTable);
    std::vector<FieldDef> fields;
    while (query.next()) {
        fields.push_back(m_dialect.describeColumn(query.value(0).toString(), query.value(1).toString()));
    }
    finishReading(query, storedTable);
    return m_columns.emplace(storedTable, std::move(fields)).first->second;
}

int Connection::columnIndex(const QString& storedTable, const QString& name) {
    std::unordered_map<QString, int>& known = m_columnIndexes[storedTable];
    auto found = known.find(name);
    if (found != known.end()) {
        return found->second;
    }
    const std::vector<FieldDef>& fields = columns(storedTable);
    int index = -1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            index = static_cast<int>(i);
            break;
        }
    }
    known.emplace(name, index);
    return index;
}

int Connection::requireColumn(const QString& storedTable, const QString& name) {
    const int index = columnIndex(storedTable, name);
    if (index < 0) {
        throwEngineError(errnum::kFieldNotFound,
                         QStringLiteral("No existe el campo '%1' en la tabla '%2'.").arg(name, storedTable));
    }
    return index;
}

const Connection::WriteTarget& Connection::writeTarget(const QString& table, const FieldValues& given) {
    for (const KnownTarget& known : m_targets) {
        if (known.matches(table, given)) {
            return known.target;
        }
    }
    KnownTarget known;
    known.table = table;
    known.target.storedTable = resolveTable(table);
    for (const auto& [name, value] : given) {
        known.names.push_back(name);
        known.target.columns.push_back(requireColumn(known.target.storedTable, name));
    }
    constexpr std::size_t kKnownTargets = 32;  // a job has a handful; a caller with more just resolves again
    if (m_targets.size() == kKnownTargets) {
        m_targets.clear();
    }
    return m_targets.emplace_back(std::move(known)).target;
}

bool Connection::KnownTarget::matches(const QString& t, const FieldValues& given) const {
    if (given.size() != names.size() || t != table) {
        return false;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (given[i].first != names[i]) {
            return false;
        }
    }
    return true;
}

void Connection::forgetSchema() {
    m_targets.clear();
    m_tablesRead = false;
    m_tables.clear();
    m_columns.clear();
    m_resolvedTables.clear();
    m_columnIndexes.clear();
}

void Connection::begin() {
    requireOpen();
    if (m_depth == 0) {
        runOnce(m_dialect.beginTransactionSql(), QString());
    }
    ++m_depth;
}

void Connection::commit() {
    requireOpen();
    if (m_depth == 0) {
        throwEngineError(
            errnum::kNoTransaction,
            QStringLiteral("No hay ninguna transacción abierta en la base de datos '%1'.").arg(m_path));
    }
    if (m_depth == 1) {
        // Statements still stepping would keep the transaction from committing.
        for (auto& entry : m_statements) {
            entry.second->finish();
        }
        runOnce(m_dialect.commitSql(), QString());
    }
    --m_depth;
}

void Connection::rollback() {
    requireOpen();
    if (m_depth == 0) {
        return;
    }
    for (auto& entry : m_statements) {
        entry.second->finish();
    }
    if (m_native) {
        m_native->discard();  // the rollback would undo them
    }
    m_depth = 0;
    runOnce(m_dialect.rollbackSql(), QString());
    forgetSchema();  // tables and fields added by the transaction are gone
}

void Connection::close() {
    if (!m_open) {
        return;
    }
    if (m_depth > 0 && m_discardOnClose) {
        rollback();
    } else if (m_depth > 0) {
        m_depth = 1;
        commit();
    }
    m_open = false;
    releaseStatements();
    {
        QSqlDatabase db = handle();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

void Connection::releaseStatements() {
    // Every QSqlQuery on the connection must be gone before the connection is removed.
    m_writes.clear();
    m_native.reset();
    m_statements.clear();
    forgetSchema();
}

}  // namespace vexilo::platform
