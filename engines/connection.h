#pragma once
// One open database connection, shared by a Database and the recordsets opened on it: the QtSql
// connection (under a name of its own) and its transactions, with the caches that live as long as it
// (statements, schema, write targets, prepared writes), each a small class of its own. Internal to the
// engine layer.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "engines/dao.h"
#include "engines/dialect.h"
#include "engines/nativewrites.h"
#include "engines/preparedwrites.h"
#include "engines/schemacache.h"
#include "engines/statementcache.h"
#include "engines/waits.h"
#include "engines/writetargets.h"

namespace vexilo::engines {

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
    // The rows of a query read by the dialect's own statement (nativewrites.h; `detached`: `row` uses
    // nothing of the connection); false, having read nothing, when it has none and the caller must read
    // through prepared().
    bool readAllNative(const QString& sql, const QString& table, const NativeWrites::RowReceiver& row,
                       bool detached);
    // Several such reads at once (NativeWrites::readTogether); false, having read nothing, as above.
    bool readTogetherNative(std::vector<NativeWrites::Read>& reads);
    // Runs a statement once (definitions, pragmas): not kept. An empty table: one on the database itself.
    void runOnce(const QString& sql, const QString& table);

    // From here on every wait of a statement is announced and ends at the limit (waits.h).
    void limitWaits(const WaitNotice& notice);
    // The state of the waits when they are limited, else null; statements run inside a
    // WatchedStatement on it.
    WaitState* waits() const { return m_waits.get(); }
    // Throws the failure of a statement on `table`: the wait's own when the statement was cut at the
    // limit, the lost connection's when the server went away, else what `translate` throws (the
    // engine's own translation of its error).
    [[noreturn]] void fail(const QString& table, const std::function<void()>& translate) const;

    // User tables in creation order; reread after a table is added here or when asked.
    const std::vector<QString>& tables(bool reread = false);
    // The stored name of a table named in any case; kTableNotFound when there is none.
    QString resolveTable(const QString& name);
    // The columns of a table (by its stored name) in stored order, with their types and sizes.
    const std::vector<FieldDef>& columns(const QString& storedTable) { return m_schema.columns(storedTable); }
    // Index of a column named in any case, or -1.
    int columnIndex(const QString& storedTable, const QString& name) {
        return m_schema.columnIndex(storedTable, name);
    }
    // Index of a column named in any case; kFieldNotFound when there is none.
    int requireColumn(const QString& storedTable, const QString& name);
    void forgetSchema();
    // Changes whenever what was learnt of the tables is forgotten: whoever keeps a resolved write checks it.
    std::uint64_t schemaGeneration() const { return m_schemaGeneration; }

    // The stored table and column indexes of a row write given as (name, value) pairs.
    const WriteTarget& writeTarget(const QString& table, const FieldValues& given) {
        return m_targets.find(table, given);
    }

    // The prepared row write (insert or update) of a table and a list of columns, built on first use by
    // `build`. The dialect's own statement runs the write when it has one (nativewrites.h), else a QtSql
    // query.
    template <typename BuildSql>
    PreparedWrite& preparedWrite(WriteKind kind, const QString& storedTable, const std::vector<int>& columns,
                                 BuildSql build) {
        requireOpen();
        if (PreparedWrite* known = m_writes.find(kind, storedTable, columns)) {
            return *known;
        }
        PreparedWrite write;
        const std::vector<FieldDef>& fields = this->columns(storedTable);
        std::vector<FieldDef> bound;
        for (int column : columns) {
            bound.push_back(fields[static_cast<std::size_t>(column)]);
        }
        if (m_native) {
            RowWrite row{kind != WriteKind::Update, storedTable, {}, kind != WriteKind::Append};
            for (const FieldDef& f : bound) {
                row.columns.push_back(f.name);
            }
            write.native = m_native->prepareRow(build(), row);
        } else {
            write.query = &prepared(build(), storedTable);
        }
        write.form = StoredForm(dialect(), storedTable, std::move(bound));
        return m_writes.keep(kind, storedTable, columns, std::move(write));
    }

    // Rows written inside a transaction may go through the engine's own writer thread (nativewrites.h).
    void deferWrites() {
        if (m_native) {
            m_native->deferWrites();
        }
    }

    void begin();
    // A transaction that reads one state of the database (Database::BeginSnapshot).
    void beginSnapshot();
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
    [[noreturn]] void raise(const QSqlError& error, const QString& table) const;
    // Rows a writer holds go to the database before any other statement runs, so that it reads them:
    // those of `table` (stored name) for a statement of that table alone, every one for any other.
    void flushWrites(const QString& table = QString());
    std::vector<QString> readTables();
    std::vector<FieldDef> readColumns(const QString& storedTable);
    WriteTarget resolveWrite(const QString& table, const FieldValues& given);

    QString m_name;
    QString m_path;
    const SqlDialect& m_dialect;
    bool m_open = true;
    int m_depth = 0;  // open transactions: only the outermost begins and commits
    bool m_discardOnClose = false;
    std::uint64_t m_schemaGeneration = 0;
    StatementCache m_statements;
    SchemaCache m_schema;
    WriteTargets m_targets;
    PreparedWrites m_writes;
    std::unique_ptr<NativeWrites> m_native;
    std::unique_ptr<WaitState> m_waits;
    std::shared_ptr<void> m_waitWatch;  // what the dialect keeps to watch the waits (a thread, a handler)
};

[[noreturn]] void throwEngineError(int number, const QString& description);

}  // namespace vexilo::engines
