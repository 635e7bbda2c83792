#pragma once
// The database engine layer: a small object model of engine, workspace, database, table definitions,
// fields and recordsets, over QtSql. SQLite (QSQLITE) is the embedded default engine; a database named
// by a server connection URI (databasename.h) is a PostgreSQL database (QPSQL).
//
// What callers rely on:
// - table and field names are matched without regard to case;
// - RecordCount() right after opening is 0 for an empty result and at least 1 otherwise;
// - rows of a query without ordering come in the table's stored (insertion) order; ordered queries sort;
// - Null (a null QVariant) is distinct from the empty text, in reading and in writing;
// - Update() writes at once and a later recordset of the same run sees the change (inside an open
//   transaction too: the same connection reads its own writes);
// - TableDefName(0 .. TableDefsCount() - 1) lists every user table once, in a stable order (creation order);
// - a text field created with a size refuses a longer value with an EngineError (also a sized text
//   column of a file made elsewhere); a dbInteger field refuses what is not a whole number in 16 bits,
//   a dbLong field what is not one in 32 bits (a number given as text is stored as the number);
// - a dbDate field holds 'YYYY-MM-DD HH:MM:SS' text and reads back as a QDateTime; a QDate is stored
//   at midnight, a QTime on 1899-12-30 (the day zero of the date-and-time type).
// Every engine failure is thrown as core::EngineError: the SQL engine's native number when it
// gave one, else one of errnum below; the description (Spanish) names the table or the file.
//
// Cost: outside a transaction every write is committed and waits for the disk (about a millisecond
// or more each); a step that writes many rows groups them in BeginTrans/CommitTrans.
// Lifetimes: a Recordset may outlive its Database (a caller may keep one after closing the database); it then
// refuses every call with kObjectClosed, and Close() on it is always safe.
//
// The SQL dialect (identifier quoting, row identity, type names) lives only in this folder
// (see dialect.h), so that a server engine can be added without touching any other folder.
// Table names coming from the catalog never change a statement: identifiers are always quoted.

#include <QString>
#include <QStringView>
#include <QVariant>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "engines/errors.h"
#include "engines/plainrow.h"

namespace vexilo::engines {

// Numbers of the engine layer's own failures (an error the SQL engine reports carries the engine's
// native code instead).
namespace errnum {
constexpr int kNoCurrentRecord = 3021;    // a move, value or edit with no current row
constexpr int kUpdateWithoutEdit = 3020;  // SetValue or Update with no Edit or AddNew
constexpr int kNotUpdatable = 3027;       // Edit, AddNew or SetValue on a snapshot
constexpr int kNoTransaction = 3034;      // CommitTrans with no BeginTrans
constexpr int kTableNotFound = 3078;      // a table that the database does not have
constexpr int kDatabaseExists = 3204;     // CreateDatabase of an existing path
constexpr int kFieldNotFound = 3265;      // a field that the table does not have
constexpr int kFieldExists = 3191;        // a field appended to a table that has one of that name
constexpr int kTableExists = 3010;        // a table created where one of that name exists
constexpr int kObjectClosed = 3420;       // a recordset or database used after Close
constexpr int kEngineFailure = 3146;      // an engine failure that came with no number of its own
constexpr int kValueRefused = 275;       // a value the field cannot hold (SQLite's number for a failed check)
constexpr int kHeldByAnother = 3356;     // another process's job kept the database past the wait's limit
constexpr int kHoldNotSupported = 3251;  // an engine that cannot hold a database for one job
// Failures of a database server (a database named by a connection URI; see databasename.h).
constexpr int kLoginRefused = 3029;       // the server refuses the user name or the password
constexpr int kServerUnreachable = 3151;  // no server answers at the address, or the connection was lost
constexpr int kDiskFull = 3026;           // the server has no room left to write
constexpr int kLocked = 3260;             // another session holds a lock the statement needed
}  // namespace errnum

// Field type codes, as the table-creating steps give them.
enum FieldType : int { dbInteger = 3, dbLong = 4, dbDate = 8, dbText = 10 };
// Further codes, only ever reported for columns of tables that other programs made on a server engine
// (the job never creates them): a yes/no value, floating point numbers, exact decimals, whole numbers of
// 64 bits and bytes.
enum OtherFieldType : int {
    dbBoolean = 1,
    dbSingle = 6,
    dbDouble = 7,
    dbLongBinary = 11,
    dbBigInt = 16,
    dbDecimal = 20
};
// Recordset kinds: a read-only snapshot or an updatable dynaset.
enum RecordsetType : int { dbOpenDynaset = 2, dbOpenSnapshot = 4 };

// Opaque identity of a stored row (SQLite's rowid). Stable for the life of the row.
using RowId = qint64;

// One column assignment for the fast write paths.
using FieldValues = std::vector<std::pair<QString, QVariant>>;

struct FieldDef {
    QString name;
    int type = dbText;
    int size = 0;  // text fields: maximum characters; 0 means the engine's default (unbounded on SQLite)
};

// A detached table definition: built with CreateField/Append, created by Database::AppendTableDef.
class TableDef {
  public:
    explicit TableDef(QString name) : m_name(std::move(name)) {}
    const QString& Name() const { return m_name; }
    static FieldDef CreateField(const QString& name, int type, int size = 0) { return {name, type, size}; }
    void Append(const FieldDef& field) { m_fields.push_back(field); }
    const std::vector<FieldDef>& Fields() const { return m_fields; }
    // A table whose rows only come through this layer's row writes, from a caller that gives whole
    // numbers only within their fields' range: the writes refuse a text longer than its field before
    // binding it, so the engine is given no checks of its own that would only test every row again. The
    // run log is one: hundreds of thousands of rows a job.
    void SetWrittenByLayerOnly() { m_writtenByLayerOnly = true; }
    bool WrittenByLayerOnly() const { return m_writtenByLayerOnly; }

  private:
    QString m_name;
    std::vector<FieldDef> m_fields;
    bool m_writtenByLayerOnly = false;
};

// The source of a recordset. The job's queries are few and fixed in shape; they are described here
// rather than as SQL text so that the table name is always a quoted identifier, never SQL.
// text() gives the query as the system writes it ("Select T.* from T;"), for messages and logs.
class Query {
  public:
    enum class Filter { None, MslinkEquals, MslinkBelow };

    static Query table(const QString& t);                   // the table itself, as a recordset source
    static Query all(const QString& t);                     // Select T.* from T;
    static Query mslinkEquals(const QString& t, qint64 n);  // SELECT * FROM T WHERE mslink=N;
    static Query mslinkBelow(const QString& t,
                             qint64 limit);  // SELECT * FROM T WHERE mslink < N ORDER BY mslink;

    const QString& tableName() const { return m_table; }
    Filter filter() const { return m_filter; }
    qint64 value() const { return m_value; }
    bool orderByMslink() const { return m_orderByMslink; }
    QString text() const;

  private:
    QString m_table;
    Filter m_filter = Filter::None;
    qint64 m_value = 0;
    bool m_orderByMslink = false;
    bool m_isTable = false;
};

class Database;

// A recordset over one table. Rows are read when first needed (RecordCount, a move, a value), so a
// recordset opened only to AddNew costs nothing. Field names are matched without regard to case.
class Recordset {
  public:
    virtual ~Recordset() = default;
    virtual int RecordCount() = 0;
    virtual bool Eof() = 0;
    virtual void MoveFirst() = 0;
    virtual void MoveNext() = 0;
    virtual void MoveLast() = 0;
    virtual void Edit() = 0;    // dynaset only: start changing the current row
    virtual void AddNew() = 0;  // dynaset only: start a new row
    virtual void Update() = 0;  // store the edited or new row at once
    virtual void Close() = 0;
    virtual int FieldCount() = 0;
    virtual QString FieldName(int i) = 0;
    // Value of a field of the current row (or of the row being edited); a null QVariant is Null.
    // An unknown field name is an EngineError.
    virtual QVariant Value(const QString& field) = 0;
    virtual void SetValue(const QString& field, const QVariant& value) = 0;
    virtual RowId CurrentRowId() = 0;
};

class Database {
  public:
    virtual ~Database() = default;
    virtual const QString& path() const = 0;

    virtual int TableDefsCount() = 0;
    virtual QString TableDefName(int i) = 0;  // 0-based, creation order
    static TableDef CreateTableDef(const QString& name) { return TableDef(name); }
    virtual void AppendTableDef(const TableDef& def) = 0;  // creates the table
    virtual void AppendField(const QString& table,
                             const FieldDef& field) = 0;  // TableDefs(table).Fields.Append
    // Column names of a table in their stored order (without reading any row).
    virtual std::vector<QString> FieldNames(const QString& table) = 0;
    // The columns of a table in their stored order, with the type code and text size the engine reads
    // from their declared types (also for tables that other programs made). An engine that keeps no
    // types gives every column as unbounded text.
    virtual std::vector<FieldDef> Fields(const QString& table) {
        std::vector<FieldDef> fields;
        for (const QString& name : FieldNames(table)) {
            fields.push_back({name, dbText, 0});
        }
        return fields;
    }
    // Removes a table and its rows (TableDefs.Delete). Inside a transaction, Rollback() brings it back.
    // A table the database does not have is kTableNotFound.
    virtual void DeleteTableDef(const QString& table);

    virtual std::unique_ptr<Recordset> OpenRecordset(const Query& source, RecordsetType type) = 0;

    // Fast write paths for the run's caches: same effect as AddNew/Edit + Update on a dynaset.
    virtual RowId InsertRow(const QString& table, const FieldValues& values) = 0;
    virtual void UpdateRow(const QString& table, RowId row, const FieldValues& values) = 0;
    // Rows of one shape, prepared once: the run log adds hundreds of thousands of rows of the same
    // columns, and naming and resolving each column for every row cost more than the row itself.
    class RowInserter {
      public:
        virtual ~RowInserter() = default;
        // The values in the order of the columns it was prepared with; the same as InsertRow.
        virtual RowId Insert(std::vector<QVariant> values) = 0;
        // The same row given as plain values (plainrow.h), stored as the same values in QVariants are.
        virtual RowId InsertPlain(PlainRow values) { return Insert(variantsOf(values)); }
    };
    // When a prepared write checks its values against their fields: when the row is written (on the
    // engine's writer thread, where the job holds its writes back: the run log's rows), or at the call,
    // as InsertRow and UpdateRow do (for a caller that names the record a refusal is about).
    enum class Checks { WhenWritten, AtTheCall };
    // Used only while the database is open. Names are resolved at the first row (and again after the
    // schema changed), failing as InsertRow fails.
    virtual std::unique_ptr<RowInserter> PrepareInsert(const QString& table,
                                                       const std::vector<QString>& columns,
                                                       Checks checks = Checks::WhenWritten);
    // The same for rows whose identity the caller never reads (the run log's), checked when written; a
    // server engine then lets the server number them as they arrive, in the order they were given,
    // without taking numbers ahead for them, and Insert returns 0 there.
    virtual std::unique_ptr<RowInserter> PrepareAppend(const QString& table,
                                                       const std::vector<QString>& columns);
    // Updates of the same columns of row after row of one table, prepared once (the job's claims and
    // renumberings of records); checked at the call.
    class RowUpdater {
      public:
        virtual ~RowUpdater() = default;
        // The values in the order of the columns it was prepared with; the same as UpdateRow.
        virtual void UpdatePlain(RowId row, PlainRow values) = 0;
    };
    // As PrepareInsert.
    virtual std::unique_ptr<RowUpdater> PrepareUpdate(const QString& table,
                                                      const std::vector<QString>& columns);
    // Every row of a table in stored order, with its identity, reading only the named columns
    // (an absent column reads as Null). For the run's in-memory indexes.
    struct Row {
        RowId id;
        std::vector<QVariant> values;
    };
    virtual std::vector<Row> ReadRows(const QString& table, const std::vector<QString>& columns) = 0;
    // The same rows handed one by one to `each` as they are read, never all in memory at once (a copy of
    // a whole table).
    virtual void ForEachRow(const QString& table, const std::vector<QString>& columns,
                            const std::function<void(const Row&)>& each);
    // A text as the engine holds it: plain ASCII as stored (Latin-1), any other in UTF-16.
    using StoredText = std::variant<QLatin1String, QStringView>;
    // A row as ForEachStoredRow hands it: the loaders of the run's in-memory tables read hundreds of
    // thousands of rows, and a whole number or a text is taken as the engine holds it, without a QVariant
    // per value. Columns are numbered as the columns asked for; nothing of a row outlives the call.
    class StoredRow {
      public:
        virtual RowId id() const = 0;
        virtual bool isNull(std::size_t column) const = 0;
        // The number a column stores as a whole number; nothing for any other value (a real, a text, Null).
        // When there is one, value() of the column is that number, a text made of it its decimal digits.
        virtual std::optional<std::int64_t> integer(std::size_t column) const = 0;
        // The text a column stores as a text that reads as that text; nothing for any other value (a date
        // column's text reads as a moment, a number is no text).
        virtual std::optional<StoredText> text(std::size_t column) const = 0;
        // Any value, as ForEachRow reads it.
        virtual QVariant value(std::size_t column) const = 0;

      protected:
        ~StoredRow() = default;
    };
    // What a caller of ForEachStoredRow does with each row. Heavy: about as much as the engine does to
    // read it (building an index), so that the engine may read the next rows on another thread
    // meanwhile; `each` must then use nothing of the database. Light: little (copying a text), so that
    // a second thread would only add the cost of handing the rows over.
    enum class RowHandling { Light, Heavy };
    // In what order the rows come: the stored order, or any order for a caller that finds each row's
    // place by its identity (a server then sends the rows as it finds them, without sorting the whole
    // table before the first).
    enum class RowOrder { Stored, Any };
    // The rows of ForEachRow, handed over as the engine read them.
    virtual void ForEachStoredRow(const QString& table, const std::vector<QString>& columns,
                                  const std::function<void(const StoredRow&)>& each, RowHandling handling,
                                  RowOrder order = RowOrder::Stored);
    // One of several whole tables read together.
    struct TableRead {
        QString table;
        std::vector<QString> columns;
        std::function<void(const StoredRow&)>
            each;                    // this read's rows, on one thread, maybe not the caller's
        std::exception_ptr failure;  // what stopped it (see ForEachStoredRowTogether)
    };
    // Reads tables as ForEachStoredRow would, rows in any order and handled Heavy, one after the other;
    // but where the engine can, on the caller's thread and one more at once: a read's `each` must then
    // touch nothing that another read's does, nor the database. A read that cannot begin (a table or a
    // column that does not exist) and one whose `each` throws keep their failure, and the others go on;
    // a failure of the engine while rows are read is thrown once every read stopped.
    virtual void ForEachStoredRowTogether(std::vector<TableRead>& reads);
    // The least and the greatest value that a column holds, in the engine's order, Nulls left out (two
    // Nulls for a column without values): for a copy that must choose a column type wide enough.
    virtual std::pair<QVariant, QVariant> ValueRange(const QString& table, const QString& column);

    // Stored order on a server engine. The embedded engine numbers rows as it stores them; a server keeps
    // no such order, so the engine keeps it in a hidden column of its own ("vexilo_orden", an identity
    // column) that it adds to every table it creates and that is never among a table's fields. A table
    // that another program created lacks it: every statement that needs the stored order refuses such a
    // table with an EngineError saying so, until AddNaturalOrder() gives it the column (existing rows
    // are numbered in the order the server returns them). Nothing is ever added without being asked.
    virtual bool HasNaturalOrder(const QString& /*table*/) { return true; }
    // Whether a read of the table in any order (RowOrder::Any) is likely to come in its stored order, which
    // a server gives only by sorting the whole table first: true where the engine reads a table in that
    // order anyway, and on a server while none of its rows is known to have been changed or removed. A
    // guess, never a promise: a caller that needs the stored order checks each identity and reads again
    // in that order when one comes out of turn.
    virtual bool LikelyInStoredOrder(const QString& /*table*/) { return true; }
    virtual void AddNaturalOrder(const QString& /*table*/) {}

    // Grouping of writes: nothing else changes meaning (a write is visible to later reads at once).
    // From here on, rows written inside a transaction may reach the engine after the call that gave
    // them, on a thread of the engine's own, while the caller goes on: for a writer that decides every
    // write itself and never needs to hear of a refused row at once (the job). Every later read, the
    // commit and the next statement still see or report every row; a refused row is then thrown as a
    // DeferredWriteError and the transaction can only be rolled back. An engine without such a thread
    // writes at once as before.
    virtual void DeferWrites() {}
    // A hint: from here on the caller reads each table once, as a whole, and writes little (the text
    // rewrite). The engine may keep less of what it reads; nothing changes meaning.
    virtual void ReadsOnce() {}
    virtual void BeginTrans() = 0;
    virtual void CommitTrans() = 0;
    // Undoes every write of the open transaction (the job's, after a failure); nothing without one.
    virtual void Rollback() = 0;
    // A transaction for reading only: until it ends (CommitTrans or Rollback), every read sees one state
    // of the database, whatever other connections write meanwhile (on SQLite they cannot write; a server
    // refuses this connection's writes). Not inside another transaction.
    virtual void BeginSnapshot();
    virtual bool InTransaction() const = 0;

    // Takes the database for this connection alone until it is closed, so that two jobs never run on
    // it at once: meanwhile no other connection reads or writes it, and this one works as before
    // (transactions included). Call it before the job's first read. When another process holds it,
    // calls onWait once and keeps trying until it gets it or `limit` passes; then throws
    // kHeldByAnother, having written nothing.
    virtual void HoldForJob(std::chrono::milliseconds limit, const std::function<void()>& onWait) = 0;

    // From now on Close() rolls the open transaction back instead of committing it: a job that is only
    // simulated does everything and keeps nothing.
    virtual void DiscardOnClose() = 0;
    virtual void Close() = 0;  // commits an open transaction (unless DiscardOnClose), then closes
};

// A row of values seen as a stored row: a whole number or a text lent as the value holds it.
class VariantRow final : public Database::StoredRow {
  public:
    explicit VariantRow(const Database::Row& row) : m_row(row) {}
    RowId id() const override { return m_row.id; }
    bool isNull(std::size_t column) const override { return m_row.values[column].isNull(); }
    std::optional<std::int64_t> integer(std::size_t column) const override;
    std::optional<Database::StoredText> text(std::size_t column) const override;
    QVariant value(std::size_t column) const override { return m_row.values[column]; }

  private:
    const Database::Row& m_row;
};

class Workspace {
  public:
    virtual ~Workspace() = default;
    // Opens an existing database: shared, read and write. A path that does not exist, or a file that
    // is not a database of the engine, is an EngineError; no file is ever created.
    virtual std::unique_ptr<Database> OpenDatabase(const QString& path) = 0;
    // Opens a database and holds it for one job (see OpenDatabaseForJob below).
    virtual std::unique_ptr<Database> OpenDatabaseForJob(const QString& name, std::chrono::milliseconds limit,
                                                         const std::function<void()>& onWait,
                                                         const std::function<void()>& onWaitOver,
                                                         const std::function<bool()>& interrupted) = 0;
};

// The engine, created on first use and kept for the program's life.
class DBEngine {
  public:
    static DBEngine& instance();
    Workspace& Workspaces(int index);  // only the default workspace, index 0

    // How long a statement waits for another program's lock on the file before it fails as busy
    // (5 seconds unless changed). Applies to databases opened or created afterwards.
    int busyTimeoutMs() const { return m_busyTimeoutMs; }
    void setBusyTimeoutMs(int ms) { m_busyTimeoutMs = ms; }
    // How long opening a server database waits for a server that does not answer, in seconds, on each
    // connection it makes (10 unless changed). Applies to databases opened afterwards.
    int connectTimeoutSeconds() const { return m_connectTimeoutSeconds; }
    void setConnectTimeoutSeconds(int seconds) { m_connectTimeoutSeconds = seconds; }

  private:
    DBEngine();
    std::unique_ptr<Workspace> m_default;
    int m_busyTimeoutMs = 5000;
    int m_connectTimeoutSeconds = 10;
};

// Opens a database for one job and holds it for the job (Database::HoldForJob), within one limit for
// both: an engine that cannot even open a database while another process holds it is opened again
// until the holder lets it go. onWait is called once, the first time it has to wait; past the limit,
// kHeldByAnother. Any other failure to open propagates unchanged.
//
// From then on every wait of the job's statements is bounded the same way: a statement that waits for a
// lock another program keeps, or for a server that stops answering, calls onWait once it has waited a
// moment (possibly from another thread than the job's: whatever onWait shows must allow that), onWaitOver
// when the wait ends, and fails with kHeldByAnother once it has waited `limit`, the job's transaction
// then being lost, so that nothing is written. `interrupted`, when given, is asked between two tries
// of the opening wait whether the job must end: true throws Interrupted, having written nothing.
std::unique_ptr<Database> OpenDatabaseForJob(Workspace& workspace, const QString& name,
                                             std::chrono::milliseconds limit,
                                             const std::function<void()>& onWait,
                                             const std::function<void()>& onWaitOver = {},
                                             const std::function<bool()>& interrupted = {});

// Creates a new, empty database file of the embedded engine, or a new database on the server that a
// connection URI names (tools and tests only; the job itself never creates a database). Refuses an
// existing path or database. ":memory:" is a database of the embedded engine in memory, of this
// connection alone (tests and fuzzing).
std::unique_ptr<Database> CreateDatabase(const QString& path);

// Removes a database that CreateDatabase made, to leave nothing behind when what was to fill it failed
// (tools only). No connection to it may be open.
void DropDatabase(const QString& path);

}  // namespace vexilo::engines
