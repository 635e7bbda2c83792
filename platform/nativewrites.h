#pragma once
// A dialect's own statements for the row writes of the fast paths, when its engine offers a way faster
// than QtSql's: the job writes hundreds of thousands of rows of a few shapes, and QtSql's binding
// (a QVariant list rebuilt per row) costs more than the engine's own work. Internal to the engine layer.
//
// A server engine plugs its batched writer in here the same way: its statements may hold rows back,
// as long as flush() puts them in the database before anything reads it.

#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

#include "platform/dao.h"

class QSqlDatabase;

namespace vexilo::platform {

class NativeStatement {
  public:
    virtual ~NativeStatement() = default;
    // Runs the statement once with these values, already in their stored form, in the order of its
    // marks. Returns the identity of the row an INSERT added (0 for other statements). An engine failure
    // is an EngineError naming `table` and the database, like any other statement's.
    virtual RowId run(const std::vector<QVariant>& stored) = 0;
};

class NativeWrites {
  public:
    virtual ~NativeWrites() = default;
    // A statement for this SQL text on `table`; the caller keeps it for the connection's life.
    virtual std::unique_ptr<NativeStatement> prepare(const QString& sql, const QString& table) = 0;
    // Puts every held row in the database (nothing to do for an engine that writes at once).
    virtual void flush() {}
};

// The SQLite writer over the C interface of the very library that QtSql's SQLite driver uses, on the same
// connection (so transactions, locks and the busy wait are shared). Null when the connection does not
// give its handle.
std::unique_ptr<NativeWrites> sqliteNativeWrites(const QSqlDatabase& db, const QString& path);

}  // namespace vexilo::platform
