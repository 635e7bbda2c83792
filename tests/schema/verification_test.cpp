// The checks that precede every job, and the repairs they make, on real database files.

#include <gtest/gtest.h>

#include "catalog/tablesearch.h"
#include "schema/tablecreation.h"
#include "schema/verification.h"
#include "tests/support/catalogfixture.h"
#include "tests/support/dbfixture.h"

namespace vexilo::schema {
namespace {

using testing::CatalogRun;
using testing::CatalogTables;

std::vector<QString> fieldsOf(CatalogRun& run, const QString& table) {
    return run.Bd->FieldNames(table);
}

QString stopMessage(CatalogRun& run) {
    try {
        run.check();
    } catch (const core::Stop& stop) {
        EXPECT_EQ(run.display.pointers.back(), core::MousePointer::Default);
        return stop.message();
    }
    ADD_FAILURE() << "the checks did not stop";
    return {};
}

TEST(MainTables, MissingCatalogTableStopsBeforeAnythingIsCreated) {
    CatalogTables t;
    t.withMsCatalog = false;
    t.controlProceso = false;
    CatalogRun run(t);
    EXPECT_EQ(stopMessage(run), "No existe la tabla MsCatalog");
    EXPECT_EQ(run.tableNames(), (std::vector<QString>{"Feature", "NoAsignar"}));
    EXPECT_EQ(run.catalog.NumElementosFeature, 0);

    CatalogTables withoutFeature;
    withoutFeature.withFeature = false;
    CatalogRun other(withoutFeature);
    EXPECT_EQ(stopMessage(other), "No existe la tabla Feature");
}

TEST(MainTables, NamesInAnyCaseAreFoundAndAMissingLogIsCreated) {
    CatalogTables t;
    t.withMsCatalog = t.withFeature = t.controlProceso = false;
    CatalogRun run(t);
    testing::makeTable(*run.Bd, "MSCATALOG",
                       {{"TableName", engines::dbText, 0}, {"EntityNum", engines::dbLong, 0}},
                       {{"parcela", 3}});
    testing::makeTable(*run.Bd, "feature",
                       {{"MSLINK", engines::dbLong, 0},
                        {"FTYPE", engines::dbInteger, 0},
                        {"TABLENAME", engines::dbText, 0}});
    run.check();
    EXPECT_EQ(run.catalog.NumTablasMsCatalog, 1);
    EXPECT_EQ(run.Bd->TableDefsCount(), 5);
    EXPECT_EQ(fieldsOf(run, "CONTROLPROCESO"),
              (std::vector<QString>{"NombreTabla", "mslink", "RegistroATR", "NombreFichero", "TMapa", "Fecha",
                                    "Hora"}));
    // The catalog's mixed-case table is created under its upper-cased name with the five fields.
    EXPECT_EQ(run.tableNames().back(), "PARCELA");
    EXPECT_EQ(fieldsOf(run, "parcela"),
              (std::vector<QString>{"MsLink", "tcomplet", "tmapa", "tfeature", "clasific"}));
    EXPECT_TRUE(run.display.messages.empty());
}

TEST(AttributeTables, ListedTwiceCreatedOnceAndEmptyCatalogCreatesNothing) {
    CatalogTables t;
    t.msCatalog = {{"Calle", 1}, {"CALLE", 2}, {"Portal", 3}};
    t.attributeTables = {"portal"};
    CatalogRun run(t);
    run.check();
    const auto names = run.tableNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "CALLE"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "PORTAL"), 0);  // "portal" was found as it is

    CatalogRun empty;
    const int before = empty.Bd->TableDefsCount();
    empty.check();
    EXPECT_EQ(empty.Bd->TableDefsCount(), before);
}

TEST(AttributeTables, NamesWithSpacesStopTheJob) {
    CatalogTables t;
    t.msCatalog = {{"  BIEN  ", 1}, {"mal nombre", 2}};  // surrounding spaces are trimmed at load
    CatalogRun run(t);
    EXPECT_EQ(stopMessage(run), "Nombre de tabla con espacios en la tabla MsCatalog:\rMAL NOMBRE");

    // A database table with a space is refused when met before the match, listed or not...
    CatalogTables before;
    before.msCatalog = {{"CALLE", 1}};
    CatalogRun early(before);
    testing::makeTable(*early.Bd, "tabla vieja", testing::attributeTableFields());
    testing::makeTable(*early.Bd, "CALLE", testing::attributeTableFields());
    EXPECT_EQ(stopMessage(early), "Nombre de tabla con espacios :\rtabla vieja");

    // ...but not when the listed table comes first.
    before.attributeTables = {"CALLE"};
    CatalogRun late(before);
    testing::makeTable(*late.Bd, "tabla vieja", testing::attributeTableFields());
    EXPECT_NO_THROW(late.check());
}

TEST(FieldCheck, MissingTfeatureIsAddedSilently) {
    CatalogTables t;
    t.msCatalog = {{"CALLE", 1}};
    CatalogRun run(t);
    testing::makeTable(
        *run.Bd, "CALLE",
        {{"mslink", engines::dbLong, 0}, {"TMAPA", engines::dbText, 100}, {"TComplet", engines::dbText, 0}},
        {{1, "a", "b"}});
    run.check();
    EXPECT_EQ(fieldsOf(run, "CALLE").back(), "tfeature");
    EXPECT_TRUE(run.display.messages.empty());
}

TEST(FieldCheck, MissingTextFieldsAreBothToldThenTfeatureAddedThenTheJobEndsSilently) {
    CatalogTables t;
    t.msCatalog = {{"calle", 1}, {"OTRA", 2}};
    CatalogRun run(t);
    testing::makeTable(*run.Bd, "CALLE", {{"mslink", engines::dbLong, 0}});
    run.display.setPointer(core::MousePointer::Busy);
    EXPECT_EQ(stopMessage(run), "");
    ASSERT_EQ(run.display.messages.size(), 2u);
    EXPECT_EQ(run.display.messages[0].text, "No existe el campo TMAPA en la tabla: CALLE");
    EXPECT_EQ(run.display.messages[1].text, "No existe el campo TCOMPLET en la tabla: CALLE");
    EXPECT_EQ(fieldsOf(run, "CALLE"), (std::vector<QString>{"mslink", "tfeature"}));
    EXPECT_EQ(fieldsOf(run, "OTRA").size(), 5u);  // created by the earlier check, never verified
}

TEST(FieldCheck, CatalogTablesAndCategoryAreNeverVerified) {
    CatalogTables t;
    t.msCatalog = {{"category", 1}, {"MsCatalog", 2}, {"FEATURE", 3}};
    CatalogRun run(t);
    testing::makeTable(*run.Bd, "Category", {{"codigo", engines::dbLong, 0}});
    run.check();
    EXPECT_TRUE(run.display.messages.empty());
    EXPECT_EQ(fieldsOf(run, "CATEGORY").size(), 1u);

    CatalogTables missing;
    missing.msCatalog = {{"Category", 1}};
    CatalogRun created(missing);
    created.check();
    EXPECT_EQ(created.tableNames().back(), "CATEGORY");
}

TEST(TableCreation, NameIsKeptExactlyAndNeverReadAsSql) {
    CatalogRun run;
    const int before = run.Bd->TableDefsCount();
    const QString hostile = "X\";DROP/**/TABLE/**/Feature;--";
    CreaTabla(*run.Bd, hostile);
    EXPECT_EQ(run.Bd->TableDefsCount(), before + 1);
    EXPECT_EQ(run.tableNames().back(), hostile);
    EXPECT_EQ(fieldsOf(run, "FEATURE").size(), 3u);
    EXPECT_TRUE(catalog::findTable(*run.Bd, hostile.toLower()));
    EXPECT_THROW(CreaTabla(*run.Bd, "feature"), core::EngineError);  // the name is taken
}

// A server database whose tables another program made: each table the job reads gets its stored-order
// column before it is read, with a notice naming it, and keeps its rows in the order they had.
TEST(NaturalOrder, TablesOfAnotherProgramOnAServerGetTheirOrderColumnOnceWithANotice) {
    testing::TestDatabase server(testing::Engine::Postgres);
    server.createForeignTable("mscatalog", {{"tablename", "VARCHAR(255)"}, {"entitynum", "INTEGER"}});
    server.createForeignTable("feature",
                              {{"mslink", "INTEGER"}, {"ftype", "SMALLINT"}, {"tablename", "VARCHAR(255)"}});
    server.createForeignTable("noasignar", {{"mslink", "INTEGER"}});
    server.createForeignTable("parcela", {{"mslink", "INTEGER"},
                                          {"tcomplet", "TEXT"},
                                          {"tmapa", "VARCHAR(100)"},
                                          {"tfeature", "INTEGER"},
                                          {"clasific", "SMALLINT"}});
    server.insertRows("mscatalog", {{"parcela", 7}});
    server.insertRows("feature", {{30, 1, "parcela"}, {10, 1, "parcela"}, {20, 1, "parcela"}});
    server.insertRows("parcela", {{3, "c", "c", 30, 0}, {1, "a", "a", 10, 0}});

    testing::RecordingDisplay display;
    catalog::Catalog catalog;
    std::unique_ptr<engines::Database> bd =
        engines::DBEngine::instance().Workspaces(0).OpenDatabase(server.path());
    schema::Chequea_tablas_principales(*bd, display, catalog);
    schema::chequea_resto_tablas(*bd, display, catalog);
    schema::chequea_estructura_de_tablas(*bd, display, catalog);
    ASSERT_EQ(display.notices.size(), 4u);
    for (const char* table : {"MsCatalog", "Feature", "NoAsignar", "PARCELA"}) {
        EXPECT_TRUE(bd->HasNaturalOrder(table)) << table;
        EXPECT_EQ(std::count_if(display.notices.begin(), display.notices.end(),
                                [&](const QString& n) {
                                    return n.contains(QStringLiteral("tabla %1 ").arg(table)) &&
                                           n.contains("vexilo_orden");
                                }),
                  1)
            << table;
    }
    EXPECT_EQ(catalog.NumElementosFeature, 3);
    EXPECT_EQ(catalog.ElementosFeature[1].mslink, 30);  // read in the order the rows were stored
    std::vector<qint64> order;
    for (const auto& row : bd->ReadRows("parcela", {"mslink"})) {
        order.push_back(row.values[0].toLongLong());
    }
    EXPECT_EQ(order, (std::vector<qint64>{3, 1}));
    EXPECT_TRUE(display.messages.empty());

    // The next job finds every table in order and says nothing.
    bd->Close();
    bd = engines::DBEngine::instance().Workspaces(0).OpenDatabase(server.path());
    display.notices.clear();
    catalog = catalog::Catalog{};
    schema::Chequea_tablas_principales(*bd, display, catalog);
    schema::chequea_resto_tablas(*bd, display, catalog);
    schema::chequea_estructura_de_tablas(*bd, display, catalog);
    EXPECT_TRUE(display.notices.empty());
    bd->Close();
}

}  // namespace
}  // namespace vexilo::schema
