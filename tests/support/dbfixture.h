#pragma once
// A database file for tests, built and read with plain SQL so that tests can make files the engine
// layer did not write (other column types, odd names, rows in a chosen order) and check what the code
// under test stored without going through the engine layer.
//
// Each TestDatabase lives in a temporary folder of its own, removed with it. The file is created by
// the first createTable() or exec(); until then path() names a file that does not exist. Every call
// opens its own short connection and closes it, so nothing is held open while the code under test works.
// Any SQL failure fails the current test (ADD_FAILURE) and returns an empty result.
// The same holds for a database on the PostgreSQL test server (Engine::Postgres).

#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <vector>

namespace vexilo::testing {

struct Column {
    QString name;
    QString sqlType;  // as written in CREATE TABLE: "INTEGER", "VARCHAR(100)", "TEXT", "DATETIME", ...
};

using DbRow = std::vector<QVariant>;  // a null QVariant is Null

// The engine a test database lives on: a SQLite file, or a fresh database on the process's own
// PostgreSQL test server (pgcluster.h), where path() is its connection URI.
enum class Engine { Sqlite, Postgres };

class TestDatabase {
  public:
    explicit TestDatabase(const QString& fileName = QStringLiteral("prueba.sqlite"));
    explicit TestDatabase(Engine engine);

    Engine engine() const { return m_engine; }

    const QString& path() const { return m_path; }
    // Another path in the same temporary folder (for files a test creates itself).
    QString pathFor(const QString& fileName) const;

    // CREATE TABLE with the names quoted, so any name can be used. On the server the types are
    // written in its own names (DATETIME is a timestamp) and the table gets the hidden stored-order
    // column that the engine layer gives the tables it creates; createForeignTable() makes one without
    // it, as another program would.
    void createTable(const QString& table, const std::vector<Column>& columns);
    void createForeignTable(const QString& table, const std::vector<Column>& columns);
    // Inserts rows in order, one value per column in the table's column order.
    void insertRows(const QString& table, const std::vector<DbRow>& rows);
    // Every row in stored order (by rowid), Null as a null QVariant.
    std::vector<DbRow> rows(const QString& table) const;
    // Names of the user tables, in creation order.
    std::vector<QString> tables() const;
    // Column names and declared types, in stored order.
    std::vector<Column> columns(const QString& table) const;
    // Runs one statement of the test's own.
    void exec(const QString& sql);

    // An identifier quoted for SQL.
    static QString quote(const QString& name);

  private:
    void create(const QString& table, const std::vector<Column>& columns, bool withOrder);

    Engine m_engine = Engine::Sqlite;
    QTemporaryDir m_dir;
    QString m_path;
};

}  // namespace vexilo::testing
