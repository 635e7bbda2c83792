#pragma once
// The Database of the engine layer over a QtSql connection. Internal: callers see engines::Database.

#include <memory>

#include "engines/connection.h"
#include "engines/dao.h"
#include "engines/jobhold.h"

namespace vexilo::engines {

class SqlDatabase final : public Database {
  public:
    explicit SqlDatabase(std::shared_ptr<Connection> connection);
    ~SqlDatabase() override;

    const QString& path() const override { return m_connection->path(); }

    int TableDefsCount() override;
    QString TableDefName(int i) override;
    void AppendTableDef(const TableDef& def) override;
    void AppendField(const QString& table, const FieldDef& field) override;
    std::vector<QString> FieldNames(const QString& table) override;
    std::vector<FieldDef> Fields(const QString& table) override;
    void DeleteTableDef(const QString& table) override;
    bool HasNaturalOrder(const QString& table) override;
    bool LikelyInStoredOrder(const QString& table) override;
    void AddNaturalOrder(const QString& table) override;

    std::unique_ptr<Recordset> OpenRecordset(const Query& source, RecordsetType type) override;

    RowId InsertRow(const QString& table, const FieldValues& values) override;
    void UpdateRow(const QString& table, RowId row, const FieldValues& values) override;
    std::unique_ptr<RowInserter> PrepareInsert(const QString& table, const std::vector<QString>& columns,
                                               Checks checks) override;
    std::unique_ptr<RowInserter> PrepareAppend(const QString& table,
                                               const std::vector<QString>& columns) override;
    std::unique_ptr<RowUpdater> PrepareUpdate(const QString& table,
                                              const std::vector<QString>& columns) override;
    std::vector<Row> ReadRows(const QString& table, const std::vector<QString>& columns) override;
    void ForEachRow(const QString& table, const std::vector<QString>& columns,
                    const std::function<void(const Row&)>& each) override;
    void ForEachStoredRow(const QString& table, const std::vector<QString>& columns,
                          const std::function<void(const StoredRow&)>& each, RowHandling handling,
                          RowOrder order) override;
    void ForEachStoredRowTogether(std::vector<TableRead>& reads) override;
    std::pair<QVariant, QVariant> ValueRange(const QString& table, const QString& column) override;

    void DeferWrites() override;
    void ReadsOnce() override;
    void BeginTrans() override;
    void CommitTrans() override;
    void Rollback() override;
    void BeginSnapshot() override;
    bool InTransaction() const override;

    void HoldForJob(std::chrono::milliseconds limit, const std::function<void()>& onWait) override;
    // The hold within a wait that has already begun (the opening's).
    void holdForJob(JobWait& wait);
    // Every later wait of a statement is announced and ends at the limit (waits.h).
    void limitWaits(const WaitNotice& notice) { m_connection->limitWaits(notice); }

    void DiscardOnClose() override;
    // A file whose changes are written ahead to a log of its own gets them into the file itself and writes
    // no such log any more (held databases only: it needs the file to itself). Nothing for a server.
    void leaveWriteAheadLog();

    void Close() override;

  private:
    void runIfAny(const QString& sql);
    // Every row read, handed over to be kept or moved from.
    void eachRow(const QString& table, const std::vector<QString>& columns,
                 const std::function<void(Row&)>& each);
    // The query of ForEachStoredRow, and how its columns read.
    struct StoredQuery {
        QString sql;
        QString stored;  // the table's stored name
        std::vector<int> types;
        std::vector<char> asStored;  // by column, whether the dialect reads its type as stored
    };
    StoredQuery storedQuery(const QString& table, const std::vector<QString>& columns, RowOrder order);
    // Every row as the engine read it; `detached`: `each` uses nothing of the database (nativewrites.h).
    void readStored(const QString& table, const std::vector<QString>& columns,
                    const std::function<void(const StoredRow&)>& each, bool detached,
                    RowOrder order = RowOrder::Stored);

    std::shared_ptr<Connection> m_connection;
};

// Opens an existing database through the engine that its name calls for.
std::unique_ptr<SqlDatabase> openDatabase(const QString& name);
// The same, held for one job within `limit`, every later wait of its statements bounded by it too
// (jobhold.cpp).
std::unique_ptr<SqlDatabase> openDatabaseForJob(const QString& name, std::chrono::milliseconds limit,
                                                const std::function<void()>& onWait,
                                                const std::function<void()>& onWaitOver,
                                                const std::function<bool()>& interrupted = {});

// Shared by the fast paths and the recordsets: one row written by its identity, or a new row.
// `columns` are indexes into the table's columns, `values` the callers' values for them.
// The prepared INSERT of these columns of a table, made on first use; of rows whose identity nobody reads
// with kind Append.
PreparedWrite& preparedInsert(Connection& c, const QString& storedTable, const std::vector<int>& columns,
                              WriteKind kind = WriteKind::Insert);
RowId insertRow(Connection& c, const QString& storedTable, const std::vector<int>& columns,
                const std::vector<QVariant>& values);
void updateRow(Connection& c, const QString& storedTable, RowId row, const std::vector<int>& columns,
               const std::vector<QVariant>& values);
// The prepared UPDATE of these columns of a table's row (its identity the last value), made on first use.
PreparedWrite& preparedUpdate(Connection& c, const QString& storedTable, const std::vector<int>& columns);

}  // namespace vexilo::engines
