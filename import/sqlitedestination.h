#pragma once
// The new SQLite database an import writes, fed table by table and row by row. Column kinds become
// the types the engine layer reads (whole numbers as INTEGER or SMALLINT, reals and currency as REAL,
// texts as VARCHAR(size), memo as TEXT, dates as DATETIME, yes/no as BOOLEAN 1/0, OLE and binary as
// BLOB), with the limits Access keeps (a text's size, a whole number's width) as CHECK constraints.
// Everything is written in one transaction, committed by termina().

#include <QString>
#include <memory>

#include "import/streamreader.h"

class QSqlQuery;

namespace vexilo::importer {

class SqliteDestination : public Destination {
  public:
    // Creates the database at `path` (":memory:" for one in memory). ImportError naming `name`,
    // the file the user asked for, when it cannot be created.
    SqliteDestination(const QString& path, const QString& name);
    ~SqliteDestination() override;
    SqliteDestination(const SqliteDestination&) = delete;
    SqliteDestination& operator=(const SqliteDestination&) = delete;

    void beginTable(const StreamTable& t) override;
    void row(const std::vector<QVariant>& values) override;
    void endTable() override {}
    std::int64_t storedRows(const QString& table) override;
    // Commits everything; ImportError when the commit fails.
    void finish() override;

  private:
    void run(const QString& sql);
    [[noreturn]] void failure(const QString& cause) const;

    QString m_connection;
    QString m_name;
    std::unique_ptr<QSqlQuery> m_insert;
};

}  // namespace vexilo::importer
