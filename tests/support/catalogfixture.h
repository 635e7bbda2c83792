#pragma once
// Catalog databases for tests: MsCatalog, Feature, NoAsignar, attribute tables and CONTROLPROCESO in
// one call, on a real database file of the embedded engine (or a fresh database of the tests' own
// server), and a job's database opened on it.
//
//   CatalogTables t;
//   t.msCatalog = {{"PARCELA", 7}};
//   t.feature = {{123, "PARCELA"}};
//   t.attributeTables = {"PARCELA"};
//   CatalogRun run(t);          // run.Bd is open, run.display records everything
//   run.check();                // the three schema checks, as the run driver calls them

#include <QTemporaryDir>
#include <QVariant>
#include <optional>
#include <vector>

#include "catalog/attributeindex.h"
#include "catalog/catalogcache.h"
#include "catalog/textreader.h"
#include "desktop/services.h"
#include "engines/dao.h"
#include "schema/runlog.h"
#include "schema/verification.h"
#include "tests/support/dbfixture.h"
#include "tests/support/pgcluster.h"
#include "tests/support/recordingdisplay.h"

namespace vexilo::testing {

// Values as stored: a QVariant so that a test can store Null (QVariant()) or a text in any column.
struct MsCatalogRow {
    QVariant tablename;
    QVariant entitynum;
};
struct FeatureRow {
    QVariant mslink;
    QVariant tablename;
    QVariant ftype = 1;
};

struct CatalogTables {
    std::vector<MsCatalogRow> msCatalog;
    std::vector<FeatureRow> feature;
    std::optional<std::vector<QVariant>> noAsignar = std::vector<QVariant>{};  // nullopt: no NoAsignar table
    std::vector<QString> attributeTables;  // with the five standard fields, empty
    bool controlProceso = true;            // CONTROLPROCESO with its seven fields, empty
    // Catalog number columns created as text, so that a test can store a value no number column takes.
    bool numbersAsText = false;
    bool withMsCatalog = true;
    bool withFeature = true;
};

// A table with these fields, then these rows (values in field order).
inline void makeTable(engines::Database& db, const QString& name,
                      const std::vector<engines::FieldDef>& fields,
                      const std::vector<std::vector<QVariant>>& rows = {}) {
    engines::TableDef def(name);
    for (const auto& field : fields) {
        def.Append(field);
    }
    db.AppendTableDef(def);
    for (const auto& row : rows) {
        engines::FieldValues values;
        for (std::size_t i = 0; i < fields.size() && i < row.size(); ++i) {
            values.emplace_back(fields[i].name, row[i]);
        }
        db.InsertRow(name, values);
    }
}

inline std::vector<engines::FieldDef> attributeTableFields() {
    using engines::FieldDef;
    return {FieldDef{"MsLink", engines::dbLong, 0}, FieldDef{"tcomplet", engines::dbText, 0},
            FieldDef{"tmapa", engines::dbText, 100}, FieldDef{"tfeature", engines::dbLong, 0},
            FieldDef{"clasific", engines::dbInteger, 0}};
}

inline void writeCatalogTables(engines::Database& db, const CatalogTables& t) {
    using engines::FieldDef;
    const int whole = t.numbersAsText ? engines::dbText : engines::dbLong;
    const int small = t.numbersAsText ? engines::dbText : engines::dbInteger;
    if (t.withMsCatalog) {
        std::vector<std::vector<QVariant>> rows;
        for (const auto& r : t.msCatalog) {
            rows.push_back({r.tablename, r.entitynum});
        }
        makeTable(db, "MsCatalog",
                  {FieldDef{"tablename", engines::dbText, 0}, FieldDef{"entitynum", whole, 0}}, rows);
    }
    if (t.withFeature) {
        std::vector<std::vector<QVariant>> rows;
        for (const auto& r : t.feature) {
            rows.push_back({r.mslink, r.ftype, r.tablename});
        }
        makeTable(db, "Feature",
                  {FieldDef{"mslink", whole, 0}, FieldDef{"ftype", small, 0},
                   FieldDef{"tablename", engines::dbText, 0}},
                  rows);
    }
    if (t.noAsignar) {
        std::vector<std::vector<QVariant>> rows;
        for (const auto& v : *t.noAsignar) {
            rows.push_back({v});
        }
        makeTable(db, "NoAsignar", {FieldDef{"mslink", whole, 0}}, rows);
    }
    for (const QString& name : t.attributeTables) {
        makeTable(db, name, attributeTableFields());
    }
    if (t.controlProceso) {
        makeTable(db, "CONTROLPROCESO",
                  {FieldDef{"NombreTabla", engines::dbText, 255}, FieldDef{"mslink", engines::dbLong, 0},
                   FieldDef{"RegistroATR", engines::dbLong, 0},
                   FieldDef{"NombreFichero", engines::dbText, 255}, FieldDef{"TMapa", engines::dbText, 100},
                   FieldDef{"Fecha", engines::dbDate, 0}, FieldDef{"Hora", engines::dbDate, 0}});
    }
}

// A new database file holding the given tables (by default the empty catalog tables, an empty
// NoAsignar and CONTROLPROCESO: a database that passes the schema checks without a message).
inline void createCatalogDatabase(const QString& path, const CatalogTables& tables = {}) {
    auto db = engines::CreateDatabase(path);
    writeCatalogTables(*db, tables);
    db->Close();
}

// A job's database and what a job reads and keeps of it, with a recording display: its database open on
// a new file holding the given tables.
class CatalogRun {
  public:
    explicit CatalogRun(const CatalogTables& tables = {}, const QString& fileName = "catalog.db") {
        path = dir.filePath(fileName);
        Bd = engines::CreateDatabase(path);
        writeCatalogTables(*Bd, tables);
    }
    // On the given engine: the server's database is a fresh one of the tests' cluster.
    CatalogRun(Engine engine, const CatalogTables& tables) {
        if (engine == Engine::Sqlite) {
            path = dir.filePath("catalog.db");
            Bd = engines::CreateDatabase(path);
        } else {
            PgCluster* server = PgCluster::instance();
            path = server ? server->freshDatabase() : QString();
            Bd = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path);
        }
        writeCatalogTables(*Bd, tables);
    }
    ~CatalogRun() { close(); }
    CatalogRun(const CatalogRun&) = delete;
    CatalogRun& operator=(const CatalogRun&) = delete;

    // The three checks in the run driver's order.
    void check() {
        schema::Chequea_tablas_principales(*Bd, display, catalog);
        schema::chequea_resto_tablas(*Bd, display, catalog);
        schema::chequea_estructura_de_tablas(*Bd, display, catalog);
    }
    // What a job keeps of the open database, made on first use, as a job makes them.
    catalog::AttributeIndexes& records() {
        if (!m_records) {
            m_records = std::make_unique<catalog::AttributeIndexes>(*Bd);
        }
        return *m_records;
    }
    catalog::AttributeTexts& texts() {
        if (!m_texts) {
            m_texts = std::make_unique<catalog::AttributeTexts>(*Bd);
        }
        return *m_texts;
    }
    schema::RunLog& log() {
        if (!m_log) {
            m_log = std::make_unique<schema::RunLog>(*Bd, desktop::services().clock());
        }
        return *m_log;
    }
    // Opens another database, as the window does for its next job (which, like every job, starts with a
    // catalog and caches of its own).
    void switchTo(const CatalogTables& tables, const QString& fileName) {
        close();
        catalog = catalog::Catalog{};
        path = dir.filePath(fileName);
        Bd = engines::CreateDatabase(path);
        writeCatalogTables(*Bd, tables);
    }
    // Closes the database, committing what is pending, as the run driver does at the end of a job.
    void close() {
        dropCaches();
        if (Bd) {
            Bd->Close();
            Bd.reset();
        }
    }
    void dropCaches() {
        m_log.reset();
        m_texts.reset();
        m_records.reset();
    }
    std::vector<QString> tableNames() {
        std::vector<QString> names;
        for (int i = 0; i < Bd->TableDefsCount(); ++i) {
            names.push_back(Bd->TableDefName(i));
        }
        return names;
    }

    QTemporaryDir dir;
    QString path;
    RecordingDisplay display;
    std::unique_ptr<engines::Database> Bd;
    catalog::Catalog catalog;

  private:
    std::unique_ptr<catalog::AttributeIndexes> m_records;
    std::unique_ptr<catalog::AttributeTexts> m_texts;
    std::unique_ptr<schema::RunLog> m_log;
};

}  // namespace vexilo::testing
