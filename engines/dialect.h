#pragma once
// The SQL dialect of one engine: everything in the engine layer's statements that differs between SQL
// engines. The recordsets, the fast paths and the table definitions are written once, over QtSql, in
// terms of this seam; adding a server engine means adding a dialect (and its opening rules) here,
// without touching any other folder.

#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

#include "engines/dao.h"
#include "engines/nativewrites.h"

class QSqlError;

namespace vexilo::engines {

class Connection;
class WaitState;

// A name quoted as both engines read it: in double quotes, a double quote in it doubled.
inline QString quotedIdentifier(const QString& name) {
    QString doubled = name;
    doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

class SqlDialect {
  public:
    virtual ~SqlDialect() = default;

    // The QtSql driver that speaks this dialect.
    virtual QString driverName() const = 0;

    // An identifier as it must appear in a statement, so that no name, whatever it holds (quotes,
    // semicolons, SQL), can change the statement's meaning.
    virtual QString quoteIdentifier(const QString& name) const { return quotedIdentifier(name); }

    // The column definition for a new table or an added column: the quoted name, the type for the
    // field's type code and size, and the constraints that hold a stored value to that type's range
    // or size (an engine that does not enforce them by itself gets them as checks, unless `checked` is
    // false: TableDef::WrittenByLayerOnly).
    virtual QString columnDefinition(const FieldDef& field, bool checked) const = 0;

    // The field type code (and text size, 0 when unbounded) of a column declared with this type text,
    // also for tables that other programs created.
    virtual FieldDef describeColumn(const QString& name, const QString& declaredType) const = 0;

    // The expression that names a row's identity in SELECT lists and WHERE clauses, for a table with
    // these columns (a column may take the identity's usual name).
    virtual QString rowIdentity(const std::vector<FieldDef>& columns) const = 0;

    // Statement listing the user tables (one column, the name) in creation order, without the
    // engine's own tables.
    virtual QString listTablesSql() const = 0;
    // Statement listing a table's columns (name, declared type) in their stored order; the table
    // name is its one bound value.
    virtual QString listColumnsSql() const = 0;

    virtual QString beginTransactionSql() const = 0;
    virtual QString commitSql() const = 0;
    // Begins a transaction whose reads all see one state of the database (Database::BeginSnapshot).
    virtual QString snapshotSql() const = 0;
    virtual QString rollbackSql() const = 0;
    // A column as a statement reads it, for the value that fromStored then takes (a date as its text,
    // where the driver would read it in the local time zone).
    virtual QString readExpression(const FieldDef& field) const { return quoteIdentifier(field.name); }
    // The longest table or column name the engine keeps whole, in UTF-8 bytes (0: no limit). A longer one
    // would be cut short by the engine and then not found by its own name.
    virtual int maxNameBytes() const { return 0; }
    // Statement that writes what a log kept ahead of the file still holds into the file and stops
    // keeping such a log (empty: the engine keeps none beside a file).
    virtual QString leaveWriteAheadLogSql() const { return {}; }
    // Statement that lets the engine keep little of what it reads, for a caller that reads each table
    // once (empty: the engine keeps nothing it need be told of).
    virtual QString readsOnceSql() const { return {}; }

    // A value as it is bound for a column of this type (dates become the engine's date form; a null
    // QVariant stays Null, an empty text stays an empty text).
    virtual QVariant toStored(const QVariant& value, int fieldType) const = 0;
    // The same in place: an engine that stores most values as given leaves them untouched, with no copy
    // of their texts (whose counts the job's thread shares with the writer's).
    virtual void storeInPlace(QVariant& value, int fieldType) const { value = toStored(value, fieldType); }
    // A stored value as callers see it (a date column's text becomes a QDateTime; Null becomes a
    // null QVariant).
    virtual QVariant fromStored(const QVariant& stored, int fieldType) const = 0;
    // Whether fromStored keeps a whole number or a text that a column of this type stores as it is.
    virtual bool readsAsStored(int fieldType) const = 0;

    // Tries once, without waiting, to take the database for this connection alone until it closes
    // (Database::HoldForJob). True when taken; false when another connection holds it. Any other
    // failure is an EngineError.
    virtual bool tryHoldForJob(Connection& c) const;
    // True when an error says that another connection holds the database (the open of a database
    // that another job holds fails so on an engine whose reads need a lock of their own).
    virtual bool isHeldElsewhere(const EngineError& /*error*/) const { return false; }

    // Why a value cannot be stored in a field, checked before any statement runs, so that the refusal
    // names the field even where the engine's own refusal would not say which one it was; empty when
    // the engine itself is left to judge.
    virtual QString refusal(const FieldDef& /*field*/, const QVariant& /*value*/) const { return {}; }
    // Whether refusal() may refuse anything: true for a dialect that overrides it.
    virtual bool refusesValues() const { return false; }

    // Extra column definitions that every table this layer creates gets (empty: none), and the name
    // of the column among them that keeps the stored order, hidden from a table's fields.
    virtual QString hiddenColumnsDefinition() const { return {}; }
    // Statement (one bound value, the stored table name) that gives a row when the table has its
    // stored-order column; empty when every table has a stored order of its own.
    virtual QString naturalOrderSql() const { return {}; }
    // Statement (one bound value, the stored table name) that gives how many of the table's rows were
    // ever changed or removed, as far as the server's statistics know; empty where a table's rows are
    // read in their stored order whatever was done to them.
    virtual QString changedRowsSql() const { return {}; }
    // Statement that gives an existing table its stored-order column.
    virtual QString addNaturalOrderSql(const QString& /*storedTable*/) const { return {}; }

    // Throws the EngineError for a failed statement on `table` (empty: one on the database itself).
    [[noreturn]] virtual void raise(const QSqlError& error, const QString& table,
                                    const QString& path) const = 0;

    // The engine's own statements for the row writes, when it has a faster way than QtSql's; null
    // otherwise (the writes then go through QtSql queries).
    virtual std::unique_ptr<NativeWrites> nativeWrites(Connection& /*c*/) const { return nullptr; }

    // Starts watching the waits of a connection whose waits are now limited (Connection::limitWaits):
    // the engine reports to `state` while a statement waits and cuts it at the limit. Returns what must
    // live as long as the watch (a thread, a handler), or null.
    virtual std::shared_ptr<void> watchWaits(Connection& c, WaitState& state) const = 0;

    // True when the connection to a server is gone: a failed statement then says so plainly, whatever
    // the driver made of it.
    virtual bool connectionLost(const Connection& /*c*/) const { return false; }

    // Once the connection to `path` is closed: settles at once what the engine left beside the database
    // for its next opening to settle. Never throws; what it cannot settle stays for that opening.
    virtual void afterClose(const QString& /*path*/) const {}
};

// The embedded engine's dialect.
const SqlDialect& sqliteDialect();
// The server engine's dialect (PostgreSQL, over QtSql's QPSQL driver).
const SqlDialect& postgresDialect();

}  // namespace vexilo::engines
