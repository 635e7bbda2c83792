#pragma once
// What one connection knows of its database's schema: the user tables in creation order, the stored
// name of a table named in any case, and each table's columns with their types. Read from the database
// when first needed and forgotten when the schema may have changed. Internal to the engine layer.

#include <QString>
#include <functional>
#include <unordered_map>
#include <vector>

#include "engines/dao.h"

namespace vexilo::engines {

class SchemaCache {
  public:
    // How the cache reads the database: the table names in creation order, a table's columns.
    using ReadTables = std::function<std::vector<QString>()>;
    using ReadColumns = std::function<std::vector<FieldDef>(const QString& storedTable)>;
    SchemaCache(ReadTables readTables, ReadColumns readColumns)
        : m_readTables(std::move(readTables)), m_readColumns(std::move(readColumns)) {}

    // User tables in creation order; read again when asked or when not read yet.
    const std::vector<QString>& tables(bool reread = false);
    // The stored name of a table named in any case (read again once when not found); empty when none.
    QString resolveTable(const QString& name);
    // The columns of a table (by its stored name) in stored order, with their types and sizes.
    const std::vector<FieldDef>& columns(const QString& storedTable);
    // Index of a column named in any case, or -1.
    int columnIndex(const QString& storedTable, const QString& name);
    void forget();

  private:
    ReadTables m_readTables;
    ReadColumns m_readColumns;
    std::vector<QString> m_tables;
    bool m_tablesRead = false;
    std::unordered_map<QString, std::vector<FieldDef>> m_columns;  // by stored table name
    std::unordered_map<QString, QString> m_resolvedTables;         // name as asked -> stored name
    // Column indexes by stored table, then by the name as asked.
    std::unordered_map<QString, std::unordered_map<QString, int>> m_columnIndexes;
};

}  // namespace vexilo::engines
