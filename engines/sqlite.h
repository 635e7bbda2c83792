#pragma once
// The SQLite engine's parts inside the engine layer: opening and creating database files, and its error
// translation. Internal: callers name a database by its file path and see only dao.h.

#include <QString>
#include <memory>

class QSqlError;

namespace vexilo::engines {

class Connection;

// Opens an existing database file for reading and writing; never creates one. A path that does not
// exist, a folder, a file that is not a SQLite database (or a damaged one) are EngineErrors of their own.
std::shared_ptr<Connection> openSqliteDatabase(const QString& path);
// Creates a new, empty database file; an existing path is kDatabaseExists. ":memory:" creates a database
// of this connection alone, in memory (tests and fuzzing).
std::shared_ptr<Connection> createSqliteDatabase(const QString& path);
// Removes a database file (nothing for one in memory).
void dropSqliteDatabase(const QString& path);

// The numbered Spanish EngineError for a failed statement on `table` (empty: one on the database itself)
// of the file `path`, from SQLite's extended result code and its message.
[[noreturn]] void throwSqliteError(int extendedCode, const QString& engineText, const QString& table,
                                   const QString& path);
// The same from the error QtSql's SQLite driver reports.
[[noreturn]] void throwSqliteError(const QSqlError& error, const QString& table, const QString& path);

}  // namespace vexilo::engines
