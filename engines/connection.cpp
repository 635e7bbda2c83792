#include "engines/connection.h"

#include <QSqlError>

namespace vexilo::engines {

void throwEngineError(int number, const QString& description) {
    throw EngineError(number, description);
}

Connection::Connection(QString connectionName, QString path, const SqlDialect& dialect)
    : m_name(std::move(connectionName)),
      m_path(std::move(path)),
      m_dialect(dialect),
      m_schema([this] { return readTables(); }, [this](const QString& t) { return readColumns(t); }),
      m_targets([this](const QString& t, const FieldValues& given) { return resolveWrite(t, given); }) {
    m_native = m_dialect.nativeWrites(*this);
}

Connection::~Connection() {
    try {
        close();
    } catch (...) {
        // A destructor cannot report: an uncommitted transaction is rolled back by the engine when the
        // connection goes. Close() called explicitly reports such failures.
        m_open = false;
        releaseStatements();
        m_waitWatch.reset();
        QSqlDatabase::removeDatabase(m_name);
        m_dialect.afterClose(m_path);
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
    flushWrites(table);  // the engine is the writer's alone while it holds rows
    if (QSqlQuery* known = m_statements.find(sql)) {
        return *known;
    }
    auto query = std::make_unique<QSqlQuery>(handle());
    query->setForwardOnly(true);
    bool ok = false;
    {
        const WatchedStatement watched(waits());
        ok = query->prepare(sql);
    }
    if (!ok) {
        raise(query->lastError(), table);
    }
    return m_statements.keep(sql, std::move(query));
}

void Connection::flushWrites(const QString& table) {
    if (!m_native) {
        return;
    }
    if (table.isEmpty()) {
        m_native->flush();
    } else {
        m_native->flushFor(table);
    }
}

void Connection::run(QSqlQuery& query, const QString& table) {
    flushWrites(table);
    bool ok = false;
    {
        const WatchedStatement watched(waits());
        ok = query.exec();
    }
    if (!ok) {
        const QSqlError error = query.lastError();
        query.finish();
        raise(error, table);
    }
}

bool Connection::readAllNative(const QString& sql, const QString& table, const NativeWrites::RowReceiver& row,
                               bool detached) {
    requireOpen();
    if (!m_native) {
        return false;
    }
    flushWrites(table);
    const WatchedStatement watched(waits());
    return m_native->readAll(sql, table, row, detached);
}

bool Connection::readTogetherNative(std::vector<NativeWrites::Read>& reads) {
    requireOpen();
    if (!m_native) {
        return false;
    }
    flushWrites();
    const WatchedStatement watched(waits());
    return m_native->readTogether(reads);
}

void Connection::finishReading(QSqlQuery& query, const QString& table) {
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid()) {
        raise(error, table);
    }
}

void Connection::runOnce(const QString& sql, const QString& table) {
    requireOpen();
    flushWrites(table);
    QSqlQuery query(handle());
    bool ok = false;
    {
        const WatchedStatement watched(waits());
        ok = query.exec(sql);
    }
    if (!ok) {
        raise(query.lastError(), table);
    }
}

void Connection::raise(const QSqlError& error, const QString& table) const {
    fail(table, [&] { m_dialect.raise(error, table, m_path); });
}

void Connection::fail(const QString& table, const std::function<void()>& translate) const {
    if (m_waits && m_waits->cutShort()) {
        throwWaitedTooLong(m_path, m_waits->notice().limit);
    }
    if (m_dialect.connectionLost(*this)) {
        throwEngineError(
            errnum::kServerUnreachable,
            QStringLiteral("Se ha perdido la conexión con el servidor de bases de datos '%1': no se "
                           "ha guardado nada de lo que quedaba por confirmar.")
                .arg(m_path));
    }
    (void)table;
    translate();
    throwEngineError(errnum::kEngineFailure,
                     QStringLiteral("Error del motor en la base de datos '%1'.").arg(m_path));
}

void Connection::limitWaits(const WaitNotice& notice) {
    m_waitWatch.reset();
    m_waits = std::make_unique<WaitState>(notice);
    m_waitWatch = m_dialect.watchWaits(*this, *m_waits);
}

const std::vector<QString>& Connection::tables(bool reread) {
    requireOpen();
    return m_schema.tables(reread);
}

std::vector<QString> Connection::readTables() {
    // A failure here is one of the database itself, not of a table.
    QSqlQuery& query = prepared(m_dialect.listTablesSql(), QString());
    run(query, QString());
    std::vector<QString> tables;
    while (query.next()) {
        tables.push_back(query.value(0).toString());
    }
    finishReading(query, QString());
    return tables;
}

std::vector<FieldDef> Connection::readColumns(const QString& storedTable) {
    QSqlQuery& query = prepared(m_dialect.listColumnsSql(), storedTable);
    query.bindValue(0, storedTable);
    run(query, storedTable);
    std::vector<FieldDef> fields;
    while (query.next()) {
        fields.push_back(m_dialect.describeColumn(query.value(0).toString(), query.value(1).toString()));
    }
    finishReading(query, storedTable);
    return fields;
}

QString Connection::resolveTable(const QString& name) {
    requireOpen();
    const QString stored = m_schema.resolveTable(name);
    if (stored.isEmpty()) {
        throwEngineError(
            errnum::kTableNotFound,
            QStringLiteral("No se encuentra la tabla '%1' en la base de datos '%2'.").arg(name, m_path));
    }
    return stored;
}

int Connection::requireColumn(const QString& storedTable, const QString& name) {
    const int index = columnIndex(storedTable, name);
    if (index < 0) {
        throwEngineError(errnum::kFieldNotFound,
                         QStringLiteral("No existe el campo '%1' en la tabla '%2'.").arg(name, storedTable));
    }
    return index;
}

WriteTarget Connection::resolveWrite(const QString& table, const FieldValues& given) {
    WriteTarget target{resolveTable(table), {}};
    for (const auto& pair : given) {
        target.columns.push_back(requireColumn(target.storedTable, pair.first));
    }
    return target;
}

void Connection::forgetSchema() {
    ++m_schemaGeneration;
    m_targets.forget();
    m_schema.forget();
    if (m_native) {
        m_native->forgetSchema();
    }
}

void Connection::begin() {
    requireOpen();
    if (m_depth == 0) {
        runOnce(m_dialect.beginTransactionSql(), QString());
    }
    ++m_depth;
}

void Connection::beginSnapshot() {
    requireOpen();
    if (m_depth > 0) {
        throwEngineError(errnum::kEngineFailure,
                         QStringLiteral("La base de datos '%1' ya tiene una transacción abierta: no se puede "
                                        "empezar una lectura de un solo estado.")
                             .arg(m_path));
    }
    runOnce(m_dialect.snapshotSql(), QString());
    m_depth = 1;
}

void Connection::commit() {
    requireOpen();
    if (m_depth == 0) {
        throwEngineError(
            errnum::kNoTransaction,
            QStringLiteral("No hay ninguna transacción abierta en la base de datos '%1'.").arg(m_path));
    }
    if (m_depth == 1) {
        flushWrites();
        // Statements still stepping would keep the transaction from committing.
        m_statements.finishAll();
        runOnce(m_dialect.commitSql(), QString());
        if (m_native) {
            m_native->transactionEnds();
        }
    }
    --m_depth;
}

void Connection::rollback() {
    requireOpen();
    if (m_depth == 0) {
        return;
    }
    if (m_native) {
        m_native->discard();  // the rollback would undo them
    }
    m_statements.finishAll();
    m_depth = 0;
    runOnce(m_dialect.rollbackSql(), QString());
    if (m_native) {
        m_native->transactionEnds();
    }
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
    m_waitWatch.reset();
    QSqlDatabase::removeDatabase(m_name);
    m_dialect.afterClose(m_path);
}

void Connection::releaseStatements() {
    // Every QSqlQuery on the connection must be gone before the connection is removed; a server's
    // statements are deallocated on the server as they go, which is a wait too.
    const WatchedStatement watched(waits());
    if (m_native) {
        m_native->discard();  // a committed transaction left none; an unfinished one is lost anyway
    }
    m_writes.clear();
    m_native.reset();
    m_statements.clear();
    forgetSchema();
}

}  // namespace vexilo::engines
