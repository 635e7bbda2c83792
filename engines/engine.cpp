// The engine, its default workspace, and the opening and creating of databases through the table of
// engines (engines.h): the name says which engine serves it.

#include "engines/engines.h"
#include "engines/jobhold.h"
#include "engines/sqldatabase.h"

namespace vexilo::engines {

namespace {

class DefaultWorkspace final : public Workspace {
  public:
    std::unique_ptr<Database> OpenDatabase(const QString& name) override { return openDatabase(name); }

    std::unique_ptr<Database> OpenDatabaseForJob(const QString& name, std::chrono::milliseconds limit,
                                                 const std::function<void()>& onWait,
                                                 const std::function<void()>& onWaitOver,
                                                 const std::function<bool()>& interrupted) override {
        return openDatabaseForJob(name, limit, onWait, onWaitOver, interrupted);
    }
};

}  // namespace

std::unique_ptr<SqlDatabase> openDatabase(const QString& name) {
    return std::make_unique<SqlDatabase>(engineFor(name).open(name));
}

DBEngine::DBEngine() : m_default(std::make_unique<DefaultWorkspace>()) {}

DBEngine& DBEngine::instance() {
    static DBEngine engine;
    return engine;
}

Workspace& DBEngine::Workspaces(int index) {
    if (index != 0) {
        throwEngineError(errnum::kFieldNotFound,
                         QStringLiteral("No existe el espacio de trabajo número %1.").arg(index));
    }
    return *m_default;
}

namespace {

// The columns paired with a row's values, as InsertRow and UpdateRow take them.
FieldValues named(const std::vector<QString>& columns, std::vector<QVariant> values) {
    FieldValues given;
    given.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size() && i < values.size(); ++i) {
        given.emplace_back(columns[i], std::move(values[i]));
    }
    return given;
}

class InsertThroughRows final : public Database::RowInserter {
  public:
    InsertThroughRows(Database& db, QString table, std::vector<QString> columns)
        : m_db(db), m_table(std::move(table)), m_columns(std::move(columns)) {}
    RowId Insert(std::vector<QVariant> values) override {
        return m_db.InsertRow(m_table, named(m_columns, std::move(values)));
    }

  private:
    Database& m_db;
    QString m_table;
    std::vector<QString> m_columns;
};

class UpdateThroughRows final : public Database::RowUpdater {
  public:
    UpdateThroughRows(Database& db, QString table, std::vector<QString> columns)
        : m_db(db), m_table(std::move(table)), m_columns(std::move(columns)) {}
    void UpdatePlain(RowId row, PlainRow values) override {
        m_db.UpdateRow(m_table, row, named(m_columns, variantsOf(values)));
    }

  private:
    Database& m_db;
    QString m_table;
    std::vector<QString> m_columns;
};

}  // namespace

std::unique_ptr<Database::RowInserter> Database::PrepareInsert(const QString& table,
                                                               const std::vector<QString>& columns,
                                                               Checks /*checks*/) {
    return std::make_unique<InsertThroughRows>(*this, table, columns);
}

std::unique_ptr<Database::RowInserter> Database::PrepareAppend(const QString& table,
                                                               const std::vector<QString>& columns) {
    return PrepareInsert(table, columns, Checks::WhenWritten);
}

std::unique_ptr<Database::RowUpdater> Database::PrepareUpdate(const QString& table,
                                                              const std::vector<QString>& columns) {
    return std::make_unique<UpdateThroughRows>(*this, table, columns);
}

void Database::DeleteTableDef(const QString& table) {
    throwEngineError(
        errnum::kEngineFailure,
        QStringLiteral("La tabla '%1' no se puede borrar en la base de datos '%2'.").arg(table, path()));
}

void Database::ForEachRow(const QString& table, const std::vector<QString>& columns,
                          const std::function<void(const Row&)>& each) {
    for (const Row& row : ReadRows(table, columns)) {
        each(row);
    }
}

std::optional<std::int64_t> VariantRow::integer(std::size_t column) const {
    const QVariant& v = m_row.values[column];
    if (v.isNull() || (v.metaType().id() != QMetaType::LongLong && v.metaType().id() != QMetaType::Int)) {
        return std::nullopt;
    }
    return v.toLongLong();
}

std::optional<Database::StoredText> VariantRow::text(std::size_t column) const {
    const QVariant& v = m_row.values[column];
    if (v.isNull() || v.metaType().id() != QMetaType::QString) {
        return std::nullopt;
    }
    return QStringView(*static_cast<const QString*>(v.constData()));
}

void Database::ForEachStoredRow(const QString& table, const std::vector<QString>& columns,
                                const std::function<void(const StoredRow&)>& each, RowHandling handling,
                                RowOrder order) {
    (void)handling;
    (void)order;  // the stored order is one of any
    ForEachRow(table, columns, [&each](const Row& row) { each(VariantRow(row)); });
}

void Database::ForEachStoredRowTogether(std::vector<TableRead>& reads) {
    struct Stopped {};  // a read's `each` threw: kept as its failure
    for (TableRead& read : reads) {
        try {
            FieldNames(read.table);  // a table that does not exist is refused here, before any statement
        } catch (const core::EngineError&) {
            read.failure = std::current_exception();
            continue;
        }
        try {
            ForEachStoredRow(
                read.table, read.columns,
                [&read](const StoredRow& row) {
                    try {
                        read.each(row);
                    } catch (...) {
                        read.failure = std::current_exception();
                        throw Stopped{};
                    }
                },
                RowHandling::Heavy, RowOrder::Any);
        } catch (const Stopped&) {
        }
    }
}

void Database::BeginSnapshot() {
    BeginTrans();
}

std::pair<QVariant, QVariant> Database::ValueRange(const QString& table, const QString& column) {
    throwEngineError(
        errnum::kEngineFailure,
        QStringLiteral("No se pueden leer los valores extremos del campo '%1' de la tabla '%2' en la "
                       "base de datos '%3'.")
            .arg(column, table, path()));
}

void DropDatabase(const QString& name) {
    engineFor(name).drop(name);
}

std::unique_ptr<Database> CreateDatabase(const QString& name) {
    return std::make_unique<SqlDatabase>(engineFor(name).create(name));
}

std::unique_ptr<Database> OpenDatabaseForJob(Workspace& workspace, const QString& name,
                                             std::chrono::milliseconds limit,
                                             const std::function<void()>& onWait,
                                             const std::function<void()>& onWaitOver,
                                             const std::function<bool()>& interrupted) {
    return workspace.OpenDatabaseForJob(name, limit, onWait, onWaitOver, interrupted);
}

}  // namespace vexilo::engines
