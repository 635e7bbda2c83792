#include "engines/schemacache.h"

namespace vexilo::engines {

const std::vector<QString>& SchemaCache::tables(bool reread) {
    if (!m_tablesRead || reread) {
        m_tables = m_readTables();
        m_tablesRead = true;
    }
    return m_tables;
}

QString SchemaCache::resolveTable(const QString& name) {
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
    return {};
}

const std::vector<FieldDef>& SchemaCache::columns(const QString& storedTable) {
    auto found = m_columns.find(storedTable);
    if (found != m_columns.end()) {
        return found->second;
    }
    return m_columns.emplace(storedTable, m_readColumns(storedTable)).first->second;
}

int SchemaCache::columnIndex(const QString& storedTable, const QString& name) {
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

void SchemaCache::forget() {
    m_tablesRead = false;
    m_tables.clear();
    m_columns.clear();
    m_resolvedTables.clear();
    m_columnIndexes.clear();
}

}  // namespace vexilo::engines
