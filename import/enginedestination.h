#pragma once
// A database of the engine layer (in practice a server database) as the destination of an import,
// fed table by table and row by row through the engine interface. A column that comes from a database
// of the engine layer keeps its field type and size; the kinds of an Access file's columns become the
// engine's field types (whole numbers of 8 and 16 bits dbInteger, of 32 bits dbLong, reals and currency
// dbDouble, dates dbDate, yes/no dbBoolean, texts dbText with their size, memo and GUID unbounded
// dbText, OLE and binary dbLongBinary); the tables get the engine's stored order, so the rows read
// back in the order they came.
//
// Everything happens in one transaction, committed by termina(); anything else (a failure, the
// object destroyed before termina()) rolls it back, so the database is as it was, replaced tables
// included.

#include <QSet>
#include <QString>
#include <functional>
#include <vector>

#include "engines/dao.h"
#include "import/streamreader.h"

namespace vexilo::importer {

// The engine's field for a column kind.
engines::FieldDef fieldFor(const StreamColumn& column);

class EngineDestination : public Destination {
  public:
    // `bd` stays open for the object's life. `name` is the destination as it may be shown (no
    // password). A table of the same name (in any case) as one that arrives is replaced only with
    // `force`; without it the import fails naming the table.
    EngineDestination(engines::Database& bd, const QString& name, bool force);
    ~EngineDestination() override;
    EngineDestination(const EngineDestination&) = delete;
    EngineDestination& operator=(const EngineDestination&) = delete;

    void beginTable(const StreamTable& t) override;
    void row(const std::vector<QVariant>& values) override;
    void endTable() override {}
    std::int64_t storedRows(const QString& table) override;
    void finish() override;

  private:
    void replace(const QString& table);
    [[noreturn]] void failure(const QString& cause) const;

    engines::Database& m_bd;
    QString m_name;
    bool m_force;
    bool m_finished = false;
    QSet<QString> m_created;  // upper-cased names of the tables this import created
    QString m_table;
    engines::FieldValues m_values;
};

// Creates the database `path` (a new file of the embedded engine, ":memory:", or a server URI), hands an
// EngineDestination on it to `copy` and commits what it wrote. ImportError naming `shownName` (the
// destination as the user named it) when the database cannot be created or written.
Result copyIntoNewDatabase(const QString& path, const QString& shownName,
                           const std::function<Result(Destination&)>& copy);

}  // namespace vexilo::importer
