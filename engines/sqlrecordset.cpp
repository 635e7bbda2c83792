#include "engines/sqlrecordset.h"

#include "engines/sqldatabase.h"

namespace vexilo::engines {

SqlRecordset::SqlRecordset(std::weak_ptr<Connection> connection, const Query& source, RecordsetType type)
    : m_connection(std::move(connection)), m_source(source), m_type(type) {
    Connection& c = this->connection();
    m_table = c.resolveTable(source.tableName());
    m_fields = c.columns(m_table);
    if (source.filter() != Query::Filter::None) {
        c.requireColumn(m_table, QStringLiteral("mslink"));
    }
}

Connection& SqlRecordset::connection() {
    std::shared_ptr<Connection> c = m_connection.lock();
    if (m_closed || !c || !c->isOpen()) {
        throwEngineError(
            errnum::kObjectClosed,
            QStringLiteral("El conjunto de registros de la tabla '%1' ya está cerrado.").arg(m_table));
    }
    // The Database that owns the connection outlives every call made through it.
    return *c;
}

QString SqlRecordset::selectSql(bool oneRow) {
    Connection& c = connection();
    const SqlDialect& d = c.dialect();
    QString sql = QLatin1String("SELECT ") + d.rowIdentity(m_fields);
    for (const FieldDef& f : m_fields) {
        sql += QLatin1String(", ") + d.quoteIdentifier(f.name);
    }
    sql += QLatin1String(" FROM ") + d.quoteIdentifier(m_table);
    if (oneRow) {
        return sql + QLatin1String(" WHERE ") + d.rowIdentity(m_fields) + QLatin1String(" = ?");
    }
    const QString mslink =
        m_source.filter() == Query::Filter::None
            ? QString()
            : d.quoteIdentifier(m_fields[c.requireColumn(m_table, QStringLiteral("mslink"))].name);
    switch (m_source.filter()) {
        case Query::Filter::MslinkEquals:
            sql += QLatin1String(" WHERE ") + mslink + QLatin1String(" = ?");
            break;
        case Query::Filter::MslinkBelow:
            sql += QLatin1String(" WHERE ") + mslink + QLatin1String(" < ?");
            break;
        case Query::Filter::None:
            break;
    }
    // Without an ordering of its own a query lists rows in the order they were stored.
    if (m_source.orderByMslink()) {
        sql += QLatin1String(" ORDER BY ") + mslink + QLatin1String(", ") + d.rowIdentity(m_fields);
    } else {
        sql += QLatin1String(" ORDER BY ") + d.rowIdentity(m_fields);
    }
    return sql;
}

Database::Row SqlRecordset::readRow(QSqlQuery& query) {
    const SqlDialect& d = connection().dialect();
    Database::Row row{query.value(0).toLongLong(), {}};
    row.values.reserve(m_fields.size());
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        row.values.push_back(d.fromStored(query.value(static_cast<int>(i) + 1), m_fields[i].type));
    }
    return row;
}

void SqlRecordset::load() {
    Connection& c = connection();
    if (m_loaded) {
        return;
    }
    QSqlQuery& query = c.prepared(selectSql(false), m_table);
    if (m_source.filter() != Query::Filter::None) {
        query.bindValue(0, m_source.value());
    }
    c.run(query, m_table);
    while (query.next()) {
        m_rows.push_back(readRow(query));
    }
    c.finishReading(query, m_table);
    m_loaded = true;
    m_position = 0;
}

int SqlRecordset::RecordCount() {
    load();
    return static_cast<int>(m_rows.size());
}

bool SqlRecordset::Eof() {
    load();
    return m_position >= m_rows.size();
}

void SqlRecordset::requireCurrent() {
    load();
    if (m_position >= m_rows.size()) {
        throwEngineError(errnum::kNoCurrentRecord,
                         QStringLiteral("No hay registro actual en la tabla '%1'.").arg(m_table));
    }
}

void SqlRecordset::MoveFirst() {
    load();
    m_editing = Editing::None;
    m_position = 0;
    requireCurrent();
}

void SqlRecordset::MoveNext() {
    requireCurrent();
    m_editing = Editing::None;
    ++m_position;
}

void SqlRecordset::MoveLast() {
    load();
    m_editing = Editing::None;
    m_position = m_rows.empty() ? 0 : m_rows.size() - 1;
    requireCurrent();
}

void SqlRecordset::requireUpdatable(const char* operation) {
    connection();
    if (m_type != dbOpenDynaset) {
        throwEngineError(
            errnum::kNotUpdatable,
            QStringLiteral("No se puede %1 en un conjunto de registros de solo lectura de la tabla '%2'.")
                .arg(QString::fromLatin1(operation), m_table));
    }
}

void SqlRecordset::Edit() {
    requireUpdatable("modificar");
    requireCurrent();
    m_buffer = m_rows[m_position].values;
    m_changed.assign(m_fields.size(), false);
    m_editing = Editing::Edit;
}

void SqlRecordset::AddNew() {
    requireUpdatable("añadir");
    m_buffer.assign(m_fields.size(), QVariant());
    m_changed.assign(m_fields.size(), false);
    m_editing = Editing::AddNew;
}

void SqlRecordset::Update() {
    requireUpdatable("actualizar");
    if (m_editing == Editing::None) {
        throwEngineError(errnum::kUpdateWithoutEdit,
                         QStringLiteral("Actualización sin Edit ni AddNew en la tabla '%1'.").arg(m_table));
    }
    Connection& c = connection();
    std::vector<int> columns;
    std::vector<QVariant> values;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (m_changed[i]) {
            columns.push_back(static_cast<int>(i));
            values.push_back(m_buffer[i]);
        }
    }
    const Editing editing = m_editing;
    m_editing = Editing::None;  // a refused write ends the edit, as nothing was stored
    if (editing == Editing::AddNew) {
        const RowId id = insertRow(c, m_table, columns, values);
        // Rows already read get the new one at their end; the current row stays where it was.
        if (m_loaded) {
            const std::size_t current = m_position;
            m_rows.push_back(reread(id));
            m_position = current;
        }
        return;
    }
    const RowId id = m_rows[m_position].id;
    updateRow(c, m_table, id, columns, values);
    // The engine may have converted what was given (a number given as text): show what was stored.
    m_rows[m_position] = reread(id);
}

Database::Row SqlRecordset::reread(RowId id) {
    Connection& c = connection();
    QSqlQuery& query = c.prepared(selectSql(true), m_table);
    query.bindValue(0, id);
    c.run(query, m_table);
    Database::Row row{id, std::vector<QVariant>(m_fields.size())};
    if (query.next()) {
        row = readRow(query);
    }
    c.finishReading(query, m_table);
    return row;
}

void SqlRecordset::Close() {
    m_closed = true;
    m_rows.clear();
    m_buffer.clear();
}

int SqlRecordset::FieldCount() {
    connection();
    return static_cast<int>(m_fields.size());
}

QString SqlRecordset::FieldName(int i) {
    connection();
    if (i < 0 || i >= static_cast<int>(m_fields.size())) {
        throwEngineError(errnum::kFieldNotFound,
                         QStringLiteral("No existe el campo número %1 en la tabla '%2'.")
                             .arg(QString::number(i), m_table));
    }
    return m_fields[static_cast<std::size_t>(i)].name;
}

int SqlRecordset::fieldIndex(const QString& field) {
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].name.compare(field, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    throwEngineError(errnum::kFieldNotFound,
                     QStringLiteral("No existe el campo '%1' en la tabla '%2'.").arg(field, m_table));
}

QVariant SqlRecordset::Value(const QString& field) {
    connection();
    const auto index = static_cast<std::size_t>(fieldIndex(field));
    if (m_editing != Editing::None) {
        return m_buffer[index];
    }
    requireCurrent();
    return m_rows[m_position].values[index];
}

void SqlRecordset::SetValue(const QString& field, const QVariant& value) {
    requireUpdatable("asignar un valor");
    const auto index = static_cast<std::size_t>(fieldIndex(field));
    if (m_editing == Editing::None) {
        throwEngineError(errnum::kUpdateWithoutEdit,
                         QStringLiteral("Asignación al campo '%1' sin Edit ni AddNew en la tabla '%2'.")
                             .arg(field, m_table));
    }
    m_buffer[index] = value;
    m_changed[index] = true;
}

RowId SqlRecordset::CurrentRowId() {
    requireCurrent();
    return m_rows[m_position].id;
}

}  // namespace vexilo::engines
