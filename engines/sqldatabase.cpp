#include "engines/sqldatabase.h"

#include <optional>

#include "engines/sqlrecordset.h"

namespace vexilo::engines {

namespace {

// The values of a list of (name, value) pairs, in its order.
std::vector<QVariant> valuesOf(const FieldValues& given) {
    std::vector<QVariant> values;
    values.reserve(given.size());
    for (const auto& pair : given) {
        values.push_back(pair.second);
    }
    return values;
}

// A name the engine would cut short is refused before anything is created, saying the limit.
void refuseLongName(const SqlDialect& d, const QString& what, const QString& name, const QString& path) {
    const int limit = d.maxNameBytes();
    const qsizetype bytes = name.toUtf8().size();
    if (limit > 0 && bytes > limit) {
        throwEngineError(errnum::kEngineFailure,
                         QStringLiteral("El nombre %1 '%2' tiene %3 bytes y la base de datos '%4' admite "
                                        "nombres de %5 bytes como máximo.")
                             .arg(what, name, QString::number(bytes), path, QString::number(limit)));
    }
}

// Runs a prepared write with the values in the caller's form, converted first, or, for a write that
// the engine may hold back (`later`), when the engine writes it. The identity of the added row for an
// insert.
RowId runWrite(Connection& c, PreparedWrite& write, std::vector<QVariant> values, const QString& storedTable,
               bool later = false) {
    if (write.native && later) {
        return write.native->runConverting(std::move(values), write.form);
    }
    write.form.convert(values);
    if (write.native) {
        return write.native->run(std::move(values));
    }
    QSqlQuery& query = *write.query;
    for (std::size_t i = 0; i < values.size(); ++i) {
        query.bindValue(static_cast<int>(i), values[i]);
    }
    c.run(query, storedTable);
    const RowId id = query.lastInsertId().toLongLong();
    query.finish();
    return id;
}

}  // namespace

RowId insertRow(Connection& c, const QString& storedTable, const std::vector<int>& columns,
                const std::vector<QVariant>& values) {
    return runWrite(c, preparedInsert(c, storedTable, columns), values, storedTable);
}

PreparedWrite& preparedInsert(Connection& c, const QString& storedTable, const std::vector<int>& columns,
                              WriteKind kind) {
    return c.preparedWrite(kind, storedTable, columns, [&] {
        const SqlDialect& d = c.dialect();
        const std::vector<FieldDef>& fields = c.columns(storedTable);
        QString sql = QLatin1String("INSERT INTO ") + d.quoteIdentifier(storedTable);
        if (columns.empty()) {
            return sql + QLatin1String(" DEFAULT VALUES");
        }
        QString names;
        QString marks;
        for (int column : columns) {
            names += (names.isEmpty() ? QString() : QStringLiteral(", ")) +
                     d.quoteIdentifier(fields[static_cast<std::size_t>(column)].name);
            marks += marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(", ?");
        }
        return sql + QLatin1String(" (") + names + QLatin1String(") VALUES (") + marks + QLatin1Char(')');
    });
}

namespace {

// A prepared row write of a table's columns: the names resolved and the statement found once, again
// only after the schema was forgotten (a definition, a rollback).
class ResolvedWrite {
  public:
    ResolvedWrite(std::shared_ptr<Connection> connection, const QString& table,
                  const std::vector<QString>& columns)
        : m_connection(std::move(connection)), m_table(table) {
        for (const QString& name : columns) {
            m_names.emplace_back(name, QVariant());
        }
    }

    Connection& connection() const { return *m_connection; }
    const QString& storedTable() const { return m_target.storedTable; }
    // The write, prepared by `prepare` (an insert or an update of the resolved columns) when the
    // names are resolved.
    template <typename Prepare>
    PreparedWrite& write(Prepare prepare) {
        Connection& c = *m_connection;
        c.requireOpen();
        if (m_write == nullptr || m_generation != c.schemaGeneration()) {
            m_target = c.writeTarget(m_table, m_names);
            m_write = &prepare(c, m_target.storedTable, m_target.columns);
            m_generation = c.schemaGeneration();
        }
        return *m_write;
    }

  private:
    std::shared_ptr<Connection> m_connection;
    QString m_table;
    FieldValues m_names;
    WriteTarget m_target;
    PreparedWrite* m_write = nullptr;
    std::uint64_t m_generation = 0;
};

// The run log's rows (appended: their identities are never read), and the records the job adds.
class SqlRowInserter final : public Database::RowInserter {
  public:
    SqlRowInserter(std::shared_ptr<Connection> connection, const QString& table,
                   const std::vector<QString>& columns, Database::Checks checks,
                   WriteKind kind = WriteKind::Insert)
        : m_resolved(std::move(connection), table, columns), m_checks(checks), m_kind(kind) {}

    RowId Insert(std::vector<QVariant> values) override {
        // Checked when written (where the engine holds rows back, by its writer) or here, as prepared.
        return runWrite(m_resolved.connection(), write(), std::move(values), m_resolved.storedTable(),
                        m_checks == Database::Checks::WhenWritten);
    }
    RowId InsertPlain(PlainRow values) override {
        PreparedWrite& prepared = write();
        return prepared.native ? prepared.native->runPlain(std::move(values), prepared.form, m_checks)
                               : Insert(variantsOf(values));
    }

  private:
    PreparedWrite& write() {
        return m_resolved.write([this](Connection& c, const QString& storedTable,
                                       const std::vector<int>& columns) -> PreparedWrite& {
            return preparedInsert(c, storedTable, columns, m_kind);
        });
    }

    ResolvedWrite m_resolved;
    Database::Checks m_checks;
    WriteKind m_kind;
};

// The job's claims and renumberings of records, checked at the call as UpdateRow checks its values.
class SqlRowUpdater final : public Database::RowUpdater {
  public:
    SqlRowUpdater(std::shared_ptr<Connection> connection, const QString& table,
                  const std::vector<QString>& columns)
        : m_resolved(std::move(connection), table, columns) {}

    void UpdatePlain(RowId row, PlainRow values) override {
        PreparedWrite& prepared = m_resolved.write(preparedUpdate);
        values.append(PlainValue::whole(row));  // the row's identity, after the values: never checked
        if (prepared.native) {
            prepared.native->runPlain(std::move(values), prepared.form, Database::Checks::AtTheCall);
            return;
        }
        runWrite(m_resolved.connection(), prepared, variantsOf(values), m_resolved.storedTable());
    }

  private:
    ResolvedWrite m_resolved;
};

// The current row of a QtSql query: every value as the driver gives it, none lent as stored.
class QueryValues final : public StoredValues {
  public:
    explicit QueryValues(const QSqlQuery& query) : m_query(query) {}
    bool isNull(int column) const override { return m_query.isNull(column); }
    bool integer(int /*column*/, std::int64_t& /*n*/) const override { return false; }
    std::optional<Database::StoredText> text(int /*column*/) const override { return std::nullopt; }
    QVariant value(int column) const override { return m_query.value(column); }

  private:
    const QSqlQuery& m_query;
};

// A row read with its identity first, as callers read it: each value as the dialect's fromStored makes
// it, and a whole number or a text lent as stored where fromStored keeps it.
class DialectRow final : public Database::StoredRow {
  public:
    // `asStored`: by column, whether the dialect reads the column's type as it is stored (asked once
    // per query, not once per value).
    DialectRow(const StoredValues& values, const std::vector<int>& types, const std::vector<char>& asStored,
               const SqlDialect& dialect)
        : m_values(values), m_types(types), m_asStored(asStored), m_dialect(dialect) {}

    RowId id() const override {
        std::int64_t n = 0;
        return m_values.integer(0, n) ? n : m_values.value(0).toLongLong();
    }
    bool isNull(std::size_t column) const override { return m_values.isNull(at(column)); }
    std::optional<std::int64_t> integer(std::size_t column) const override {
        std::int64_t n = 0;
        if (asStored(column) && m_values.integer(at(column), n)) {
            return n;
        }
        return std::nullopt;
    }
    std::optional<Database::StoredText> text(std::size_t column) const override {
        return asStored(column) ? m_values.text(at(column)) : std::nullopt;
    }
    QVariant value(std::size_t column) const override {
        return m_dialect.fromStored(m_values.value(at(column)), m_types[column]);
    }

  private:
    static int at(std::size_t column) { return static_cast<int>(column) + 1; }
    bool asStored(std::size_t column) const { return m_asStored[column] != 0; }

    const StoredValues& m_values;
    const std::vector<int>& m_types;
    const std::vector<char>& m_asStored;
    const SqlDialect& m_dialect;
};

// The first value of the first row of a statement about one table (its one bound value, the table's
// stored name), if it gives a row.
std::optional<QVariant> firstValue(Connection& c, const QString& sql, const QString& stored) {
    QSqlQuery& query = c.prepared(sql, stored);
    query.bindValue(0, stored);
    c.run(query, stored);
    std::optional<QVariant> value;
    if (query.next()) {
        value = query.value(0);
    }
    c.finishReading(query, stored);
    return value;
}

}  // namespace

std::unique_ptr<Database::RowInserter> SqlDatabase::PrepareInsert(const QString& table,
                                                                  const std::vector<QString>& columns,
                                                                  Checks checks) {
    return std::make_unique<SqlRowInserter>(m_connection, table, columns, checks);
}

std::unique_ptr<Database::RowInserter> SqlDatabase::PrepareAppend(const QString& table,
                                                                  const std::vector<QString>& columns) {
    return std::make_unique<SqlRowInserter>(m_connection, table, columns, Checks::WhenWritten,
                                            WriteKind::Append);
}

std::unique_ptr<Database::RowUpdater> SqlDatabase::PrepareUpdate(const QString& table,
                                                                 const std::vector<QString>& columns) {
    return std::make_unique<SqlRowUpdater>(m_connection, table, columns);
}

void updateRow(Connection& c, const QString& storedTable, RowId row, const std::vector<int>& columns,
               const std::vector<QVariant>& values) {
    if (columns.empty()) {
        return;  // nothing changed: nothing to write
    }
    std::vector<QVariant> given = values;
    given.emplace_back(row);
    runWrite(c, preparedUpdate(c, storedTable, columns), std::move(given), storedTable);
}

PreparedWrite& preparedUpdate(Connection& c, const QString& storedTable, const std::vector<int>& columns) {
    return c.preparedWrite(WriteKind::Update, storedTable, columns, [&] {
        const SqlDialect& d = c.dialect();
        const std::vector<FieldDef>& fields = c.columns(storedTable);
        QString sets;
        for (int column : columns) {
            sets += (sets.isEmpty() ? QString() : QStringLiteral(", ")) +
                    d.quoteIdentifier(fields[static_cast<std::size_t>(column)].name) + QLatin1String(" = ?");
        }
        return QLatin1String("UPDATE ") + d.quoteIdentifier(storedTable) + QLatin1String(" SET ") + sets +
               QLatin1String(" WHERE ") + d.rowIdentity(fields) + QLatin1String(" = ?");
    });
}

SqlDatabase::SqlDatabase(std::shared_ptr<Connection> connection) : m_connection(std::move(connection)) {}

SqlDatabase::~SqlDatabase() = default;  // the connection commits and closes itself

int SqlDatabase::TableDefsCount() {
    // The count is where a listing starts: read the tables again, as another program may have added one.
    return static_cast<int>(m_connection->tables(true).size());
}

QString SqlDatabase::TableDefName(int i) {
    const std::vector<QString>& names = m_connection->tables();
    if (i < 0 || i >= static_cast<int>(names.size())) {
        throwEngineError(
            errnum::kTableNotFound,
            QStringLiteral("No existe la definición de tabla número %1 en la base de datos '%2'.")
                .arg(QString::number(i), path()));
    }
    return names[static_cast<std::size_t>(i)];
}

void SqlDatabase::AppendTableDef(const TableDef& def) {
    const SqlDialect& d = m_connection->dialect();
    refuseLongName(d, QStringLiteral("de la tabla"), def.Name(), path());
    for (const FieldDef& f : def.Fields()) {
        refuseLongName(d, QStringLiteral("del campo"), f.name, path());
    }
    // Names match in any case, also where the engine tells "Parcelas" from "PARCELAS".
    for (const QString& t : m_connection->tables(true)) {
        if (t.compare(def.Name(), Qt::CaseInsensitive) == 0) {
            throwEngineError(
                errnum::kTableExists,
                QStringLiteral("Ya existe la tabla '%1' en la base de datos '%2'.").arg(t, path()));
        }
    }
    QString columns;
    for (const FieldDef& f : def.Fields()) {
        columns += (columns.isEmpty() ? QString() : QStringLiteral(", ")) +
                   d.columnDefinition(f, !def.WrittenByLayerOnly());
    }
    if (columns.isEmpty()) {
        throwEngineError(
            errnum::kEngineFailure,
            QStringLiteral("La tabla '%1' no tiene ningún campo y no se puede crear.").arg(def.Name()));
    }
    const QString hidden = d.hiddenColumnsDefinition();
    if (!hidden.isEmpty()) {
        columns += QStringLiteral(", ") + hidden;
    }
    m_connection->runOnce(QLatin1String("CREATE TABLE ") + d.quoteIdentifier(def.Name()) +
                              QLatin1String(" (") + columns + QLatin1Char(')'),
                          def.Name());
    m_connection->forgetSchema();
}

void SqlDatabase::AppendField(const QString& table, const FieldDef& field) {
    const QString stored = m_connection->resolveTable(table);
    const SqlDialect& d = m_connection->dialect();
    refuseLongName(d, QStringLiteral("del campo"), field.name, path());
    if (m_connection->columnIndex(stored, field.name) >= 0) {
        throwEngineError(errnum::kFieldExists,
                         QStringLiteral("Ya existe el campo '%1' en la tabla '%2'.").arg(field.name, stored));
    }
    m_connection->runOnce(QLatin1String("ALTER TABLE ") + d.quoteIdentifier(stored) +
                              QLatin1String(" ADD COLUMN ") + d.columnDefinition(field, true),
                          stored);
    m_connection->forgetSchema();
}

std::vector<QString> SqlDatabase::FieldNames(const QString& table) {
    std::vector<QString> names;
    for (const FieldDef& f : m_connection->columns(m_connection->resolveTable(table))) {
        names.push_back(f.name);
    }
    return names;
}

std::vector<FieldDef> SqlDatabase::Fields(const QString& table) {
    return m_connection->columns(m_connection->resolveTable(table));
}

void SqlDatabase::DeleteTableDef(const QString& table) {
    const QString stored = m_connection->resolveTable(table);
    m_connection->runOnce(QLatin1String("DROP TABLE ") + m_connection->dialect().quoteIdentifier(stored),
                          stored);
    m_connection->forgetSchema();
}

bool SqlDatabase::HasNaturalOrder(const QString& table) {
    const QString stored = m_connection->resolveTable(table);
    const QString sql = m_connection->dialect().naturalOrderSql();
    return sql.isEmpty() || firstValue(*m_connection, sql, stored).has_value();
}

bool SqlDatabase::LikelyInStoredOrder(const QString& table) {
    const QString sql = m_connection->dialect().changedRowsSql();
    if (sql.isEmpty()) {
        return true;
    }
    const std::optional<QVariant> changed = firstValue(*m_connection, sql, m_connection->resolveTable(table));
    return !changed || changed->toLongLong() <= 0;
}

void SqlDatabase::AddNaturalOrder(const QString& table) {
    if (HasNaturalOrder(table)) {
        return;
    }
    const QString stored = m_connection->resolveTable(table);
    m_connection->runOnce(m_connection->dialect().addNaturalOrderSql(stored), stored);
    m_connection->forgetSchema();
}

std::unique_ptr<Recordset> SqlDatabase::OpenRecordset(const Query& source, RecordsetType type) {
    m_connection->requireOpen();
    return std::make_unique<SqlRecordset>(m_connection, source, type);
}

RowId SqlDatabase::InsertRow(const QString& table, const FieldValues& values) {
    const WriteTarget& target = m_connection->writeTarget(table, values);
    return insertRow(*m_connection, target.storedTable, target.columns, valuesOf(values));
}

void SqlDatabase::UpdateRow(const QString& table, RowId row, const FieldValues& values) {
    const WriteTarget& target = m_connection->writeTarget(table, values);
    updateRow(*m_connection, target.storedTable, row, target.columns, valuesOf(values));
}

std::vector<Database::Row> SqlDatabase::ReadRows(const QString& table, const std::vector<QString>& columns) {
    std::vector<Row> rows;
    eachRow(table, columns, [&rows](Row& row) { rows.push_back(std::move(row)); });
    return rows;
}

void SqlDatabase::ForEachRow(const QString& table, const std::vector<QString>& columns,
                             const std::function<void(const Row&)>& each) {
    eachRow(table, columns, [&each](Row& row) { each(row); });
}

void SqlDatabase::ForEachStoredRow(const QString& table, const std::vector<QString>& columns,
                                   const std::function<void(const StoredRow&)>& each, RowHandling handling,
                                   RowOrder order) {
    readStored(table, columns, each, handling == RowHandling::Heavy, order);
}

void SqlDatabase::eachRow(const QString& table, const std::vector<QString>& columns,
                          const std::function<void(Row&)>& each) {
    Row row;
    readStored(
        table, columns,
        [&](const StoredRow& stored) {
            row.id = stored.id();
            row.values.clear();
            row.values.reserve(columns.size());
            for (std::size_t i = 0; i < columns.size(); ++i) {
                row.values.push_back(stored.value(i));
            }
            each(row);
        },
        false);
}

SqlDatabase::StoredQuery SqlDatabase::storedQuery(const QString& table, const std::vector<QString>& columns,
                                                  RowOrder order) {
    Connection& c = *m_connection;
    StoredQuery q;
    q.stored = c.resolveTable(table);
    const SqlDialect& d = c.dialect();
    const std::vector<FieldDef>& fields = c.columns(q.stored);
    q.sql = QLatin1String("SELECT ") + d.rowIdentity(fields);
    for (const QString& name : columns) {
        const int index = c.columnIndex(q.stored, name);
        // An absent column reads as Null in every row.
        q.sql +=
            QLatin1String(", ") +
            (index < 0 ? QStringLiteral("NULL") : d.readExpression(fields[static_cast<std::size_t>(index)]));
        q.types.push_back(index < 0 ? dbText : fields[static_cast<std::size_t>(index)].type);
    }
    q.sql += QLatin1String(" FROM ") + d.quoteIdentifier(q.stored);
    if (order == RowOrder::Stored) {
        q.sql += QLatin1String(" ORDER BY ") + d.rowIdentity(fields);
    }
    for (const int type : q.types) {
        q.asStored.push_back(d.readsAsStored(type) ? 1 : 0);
    }
    return q;
}

void SqlDatabase::readStored(const QString& table, const std::vector<QString>& columns,
                             const std::function<void(const StoredRow&)>& each, bool detached,
                             RowOrder order) {
    Connection& c = *m_connection;
    const StoredQuery q = storedQuery(table, columns, order);
    const SqlDialect& d = c.dialect();
    // An attribute table of a large job is a few hundred thousand rows: read by the engine's own
    // statement when the dialect has one, without QtSql's copy of every row.
    if (c.readAllNative(
            q.sql, q.stored,
            [&](const StoredValues& values) { each(DialectRow(values, q.types, q.asStored, d)); },
            detached)) {
        return;
    }
    QSqlQuery& query = c.prepared(q.sql, q.stored);
    c.run(query, q.stored);
    const QueryValues values(query);
    while (query.next()) {
        each(DialectRow(values, q.types, q.asStored, d));
    }
    c.finishReading(query, q.stored);
}

void SqlDatabase::ForEachStoredRowTogether(std::vector<TableRead>& reads) {
    Connection& c = *m_connection;
    const SqlDialect& d = c.dialect();
    std::vector<StoredQuery> queries;
    queries.reserve(reads.size());  // the receivers keep references to them
    std::vector<NativeWrites::Read> native;
    std::vector<TableRead*> nativeOf;
    for (TableRead& read : reads) {
        try {
            queries.push_back(storedQuery(read.table, read.columns, RowOrder::Any));
        } catch (const core::EngineError&) {
            read.failure = std::current_exception();
            continue;
        }
        const StoredQuery& q = queries.back();
        const std::function<void(const StoredRow&)>& each = read.each;
        native.push_back({q.sql,
                          q.stored,
                          [&q, &each, &d](const StoredValues& values) {
                              each(DialectRow(values, q.types, q.asStored, d));
                          },
                          {}});
        nativeOf.push_back(&read);
    }
    if (!c.readTogetherNative(native)) {
        for (TableRead& read : reads) {
            read.failure = nullptr;
        }
        Database::ForEachStoredRowTogether(reads);
        return;
    }
    for (std::size_t i = 0; i < native.size(); ++i) {
        if (native[i].failure) {
            nativeOf[i]->failure = native[i].failure;
        }
    }
}

std::pair<QVariant, QVariant> SqlDatabase::ValueRange(const QString& table, const QString& column) {
    Connection& c = *m_connection;
    const QString stored = c.resolveTable(table);
    const SqlDialect& d = c.dialect();
    const QString name =
        d.quoteIdentifier(c.columns(stored)[static_cast<std::size_t>(c.requireColumn(stored, column))].name);
    QSqlQuery& query = c.prepared(QLatin1String("SELECT min(") + name + QLatin1String("), max(") + name +
                                      QLatin1String(") FROM ") + d.quoteIdentifier(stored),
                                  stored);
    c.run(query, stored);
    std::pair<QVariant, QVariant> range;
    if (query.next()) {
        range = {query.value(0), query.value(1)};
    }
    c.finishReading(query, stored);
    return range;
}

void SqlDatabase::DeferWrites() {
    m_connection->deferWrites();
}

void SqlDatabase::ReadsOnce() {
    runIfAny(m_connection->dialect().readsOnceSql());
}

void SqlDatabase::BeginTrans() {
    m_connection->begin();
}

void SqlDatabase::CommitTrans() {
    m_connection->commit();
}

void SqlDatabase::BeginSnapshot() {
    m_connection->beginSnapshot();
}

void SqlDatabase::Rollback() {
    m_connection->rollback();
}

bool SqlDatabase::InTransaction() const {
    return m_connection->inTransaction();
}

void SqlDatabase::DiscardOnClose() {
    m_connection->discardOnClose();
}

void SqlDatabase::leaveWriteAheadLog() {
    runIfAny(m_connection->dialect().leaveWriteAheadLogSql());
}

// A statement of the dialect's that may be empty: the engine has nothing to be told.
void SqlDatabase::runIfAny(const QString& sql) {
    if (!sql.isEmpty()) {
        m_connection->runOnce(sql, QString());
    }
}

void SqlDatabase::Close() {
    m_connection->close();
}

}  // namespace vexilo::engines
