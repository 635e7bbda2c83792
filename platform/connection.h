#pragma once
// One open database connection, shared by a Database and the recordsets opened on it: the QtSql
// connection (under a name of its own), the prepared statements kept per SQL text, the names of the
// tables and their columns, and the transaction depth. Internal to the engine layer.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/dao.h"
#include "platform/dialect.h"
#include "platform/nativewrites.h"

namespace vexilo::platform {

class Connection {
  public:
    // Takes an already opened QtSql connection by its name; removes it on close.
    Connection(QString connectionName, QString path, const SqlDialect& dialect);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const QString& path() const { return m_path; }
    const SqlDialect& dialect() const { return m_dialect; }
    bool isOpen() const { return m_open; }
    // Throws kObjectClosed once the connection is closed.
    void requireOpen() const;

    // A prepared statement for this SQL text, kept for the connection's life. The caller binds, runs
    // it through run() and must finish() it before the next use of the same text. `table` names the
    // statement's table in error messages.
    QSqlQuery& prepared(const QString& sql, const QString& table);
    void run(QSqlQuery& query, const QString& table);
    // After the rows of a run query were read: a read that stopped on an error throws (and the
    // statement is finished either way).
    void finishReading(QSqlQuery& query, const QString& table);
    // The rows of a query read by the dialect's own statement (nativewrites.h); false, having read
    // nothing, when it has none and the caller must read through prepared().
    bool readAllNative(const QString& sql, const QString& table, const NativeWrites::RowReceiver& row);
    // Runs a statement once (definitions, pragmas): not kept. An empty table: one on the database itself.
    void runOnce(const QString& sql, const QString& table);

    // User tables in creation order; reread after a table is added here or when asked.
    const std::vector<QString>& tables(bool reread = false);
    // The stored name of a table named in any case; kTableNotFound when there is none.
    QString resolveTable(const QString& name);
    // The columns of a table (by its stored name) in stored order, with their types and sizes.
    const std::vector<FieldDef>& columns(const QString& storedTable);
    // Index of a column named in any case, or -1.
    int columnIndex(const QString& storedTable, const QString& name);
    // Index of a column named in any case; kFieldNotFound when there is none.
    int requireColumn(const QString& storedTable, const QString& name);
    void forgetSchema();

    // The stored table and the column indexes of a write given as (name, value) pairs, names matched
    // without regard to case. A job writes the same few lists of names hundreds of thousands of times:
    // each is resolved once and then found by comparing the names as given.
    struct WriteTarget {
        QString storedTable;
        std::vector<int> columns;
    };
    const WriteTarget& writeTarget(const QString& table, const FieldValues& given);

    // The prepared row write (insert or update) of a table and a list of columns, built on first use by
    // `build` and kept with the statements: the passes write hundreds of thousands of rows of the same
    // shape, and building and hashing their SQL text each time cost more than the write itself.
    // The dialect's own statement runs the write when it has one (nativewrites.h), else a QtSql query.
    enum class WriteKind { Insert, Update };
    struct PreparedWrite {
        QSqlQuery* query = nullptr;  // points into m_statements
        std::unique_ptr<NativeStatement> native;
    };
    template <typename BuildSql>
    PreparedWrite& preparedWrite(WriteKind kind, const QString& storedTable, const std::vector<int>& columns,
                                 BuildSql build) {
        requireOpen();
        WriteShape shape{kind, storedTable, columns};
        auto found = m_writes.find(shape);
        if (found != m_writes.end()) {
            return found->second;
        }
        PreparedWrite write;
        if (m_native) {
            RowWrite row{kind == WriteKind::Insert, storedTable, {}};
            const std::vector<FieldDef>& fields = this->columns(storedTable);
            for (int column : columns) {
                row.columns.push_back(fields[static_cast<std::size_t>(column)].name);
            }
            write.native = m_native->prepareRow(build(), row);
        } else {
            write.query = &prepared(build(), storedTable);
        }
        return m_writes.emplace(std::move(shape), std::move(write)).first->second;
    }

    void begin();
    void commit();
    // Undoes every write since begin(); nothing happens without an open transaction.
    void rollback();
    bool inTransaction() const { return m_depth > 0; }
    // Commits an open transaction (rolls it back after discardOnClose()), drops every statement and
    // removes the QtSql connection.
    void close();
    void discardOnClose() { m_discardOnClose = true; }

    QSqlDatabase handle() const;

  private:
    void releaseStatements();
    // Rows a writer holds go to the database before any other statement runs, so that it reads them.
    void flushWrites();

    QString m_name;
    QString m_path;
    const SqlDialect& m_dialect;
    bool m_open = true;
    int m_depth = 0;
    bool m_discardOnClose = false;
    std::unordered_map<QString, std::unique_ptr<QSqlQuery>> m_statements;
    std::vector<QString> m_tables;
    bool m_tablesRead = false;
    std::unordered_map<QString, std::vector<FieldDef>> m_columns;  // by stored table name
    std::unordered_map<QString, QString> m_resolvedTables;         // name as asked -> stored name
    // Column indexes by stored table, then by the name as asked.
    std::unordered_map<QString, std::unordered_map<QString, int>> m_columnIndexes;

    struct WriteShape {
        WriteKind kind;
        QString table;
        std::vector<int> columns;
        bool operator<(const WriteShape& o) const {
            if (kind != o.kind) {
                return kind < o.kind;
            }
            if (columns != o.columns) {
                return columns < o.columns;
            }
            return table < o.table;
        }
    };
    std::map<WriteShape, PreparedWrite> m_writes;
    struct KnownTarget {
        QString table;  // as asked
        std::vector<QString> names;
        WriteTarget target;
        bool matches(const QString& t, const FieldValues& given) const;
    };
    std::vector<KnownTarget> m_targets;
    std::unique_ptr<NativeWrites> m_native;
};

// The exception for a failed statement on the embedded engine: the engine's native number when it gave one,
// and a Spanish description that names the table (an empty table: a statement on the database itself) and the
// file.
[[noreturn]] void throwStatementError(const QSqlError& error, const QString& table, const QString& path);
[[noreturn]] void throwEngineError(int number, const QString& description);

}  // namespace vexilo::platform
