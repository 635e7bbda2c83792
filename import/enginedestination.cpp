#include "import/enginedestination.h"

namespace vexilo::importer {

using stream::ColumnKind;

engines::FieldDef fieldFor(const StreamColumn& column) {
    if (column.engineType != 0) {
        // Between two databases of the engine layer the column keeps its kind, its size included.
        return {column.name, column.engineType, column.engineType == engines::dbText ? column.size : 0};
    }
    switch (column.tipo) {
        case ColumnKind::Byte:
        case ColumnKind::Integer:
            return {column.name, engines::dbInteger, 0};
        case ColumnKind::LongInteger:
            return {column.name, engines::dbLong, 0};
        case ColumnKind::Currency:
        case ColumnKind::Simple:
        case ColumnKind::Double:
        case ColumnKind::Numeric:
            // Double precision holds a single-precision value and Access's currency exactly as read.
            return {column.name, engines::dbDouble, 0};
        case ColumnKind::Fecha:
            return {column.name, engines::dbDate, 0};
        case ColumnKind::Boolean:
            return {column.name, engines::dbBoolean, 0};
        case ColumnKind::Text:
            return {column.name, engines::dbText, column.size};
        case ColumnKind::Ole:
        case ColumnKind::Binary:
            return {column.name, engines::dbLongBinary, 0};
        case ColumnKind::Memo:
        case ColumnKind::Guid:
            break;
    }
    return {column.name, engines::dbText, 0};
}

EngineDestination::EngineDestination(engines::Database& bd, const QString& name, bool force)
    : m_bd(bd), m_name(name), m_force(force) {
    try {
        m_bd.BeginTrans();
    } catch (const core::EngineError& e) {
        failure(e.description());
    }
}

EngineDestination::~EngineDestination() {
    if (m_finished) {
        return;
    }
    try {
        m_bd.Rollback();
    } catch (const core::EngineError&) {
        // A lost connection has undone the transaction already.
    }
}

void EngineDestination::beginTable(const StreamTable& t) {
    if (m_created.contains(t.name.toUpper())) {
        failure(QStringLiteral("el origen tiene dos tablas llamadas %1 (sin distinguir mayúsculas).")
                    .arg(t.name));
    }
    try {
        replace(t.name);
        engines::TableDef def(t.name);
        m_values.clear();
        for (const StreamColumn& c : t.columns) {
            def.Append(fieldFor(c));
            m_values.emplace_back(c.name, QVariant());
        }
        m_bd.AppendTableDef(def);
    } catch (const core::EngineError& e) {
        failure(e.description());
    }
    m_created.insert(t.name.toUpper());
    m_table = t.name;
}

void EngineDestination::replace(const QString& table) {
    for (int i = 0; i < m_bd.TableDefsCount(); ++i) {
        const QString existing = m_bd.TableDefName(i);
        if (existing.compare(table, Qt::CaseInsensitive) != 0) {
            continue;
        }
        if (!m_force) {
            failure(QStringLiteral("ya tiene la tabla %1 (use --forzar para sustituirla).").arg(existing));
        }
        m_bd.DeleteTableDef(existing);
        return;
    }
}

void EngineDestination::row(const std::vector<QVariant>& values) {
    for (std::size_t i = 0; i < values.size() && i < m_values.size(); ++i) {
        m_values[i].second = values[i];
    }
    try {
        m_bd.InsertRow(m_table, m_values);
    } catch (const core::EngineError& e) {
        failure(e.description());
    }
}

std::int64_t EngineDestination::storedRows(const QString& table) {
    try {
        std::int64_t rows = 0;
        m_bd.ForEachRow(table, {}, [&rows](const engines::Database::Row&) { ++rows; });
        return rows;
    } catch (const core::EngineError& e) {
        failure(e.description());
    }
}

void EngineDestination::finish() {
    try {
        m_bd.CommitTrans();
    } catch (const core::EngineError& e) {
        failure(e.description());
    }
    m_finished = true;
}

Result copyIntoNewDatabase(const QString& path, const QString& shownName,
                           const std::function<Result(Destination&)>& copy) {
    std::unique_ptr<engines::Database> db;
    try {
        db = engines::CreateDatabase(path);
    } catch (const core::EngineError& e) {
        throw ImportError(QStringLiteral("No se puede crear la base de datos de destino %1: %2")
                              .arg(shownName, e.description()));
    }
    Result r;
    {
        EngineDestination destination(*db, shownName, false);
        r = copy(destination);
        destination.finish();
    }
    try {
        db->Close();
    } catch (const core::EngineError& e) {
        throw ImportError(QStringLiteral("No se puede escribir la base de datos de destino %1: %2")
                              .arg(shownName, e.description()));
    }
    return r;
}

void EngineDestination::failure(const QString& cause) const {
    throw ImportError(
        QStringLiteral("No se puede escribir la base de datos de destino %1: %2").arg(m_name, cause));
}

}  // namespace vexilo::importer
