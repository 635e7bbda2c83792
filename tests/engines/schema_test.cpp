// Table definitions: listing, creating tables and fields, and the limits that created fields enforce.

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "enginetest.h"

namespace vexilo::testing {
namespace {

using core::EngineError;
using engines::Database;
using engines::dbDate;
using engines::dbInteger;
using engines::dbLong;
using engines::dbOpenDynaset;
using engines::dbOpenSnapshot;
using engines::dbText;
using engines::Query;
using engines::TableDef;
namespace errnum = engines::errnum;

std::vector<QString> tableNames(Database& db) {
    std::vector<QString> names;
    for (int i = 0; i < db.TableDefsCount(); ++i) {
        names.push_back(db.TableDefName(i));
    }
    return names;
}

class Schema : public EngineTest {
  protected:
    void SetUp() override {
        file.createTable("MsCatalog", {{"tablename", "TEXT"}, {"entitynum", "INTEGER"}});
        // A table that makes one of the engine's own objects too (sqlite_sequence, a sequence).
        file.exec(file.engine() == Engine::Postgres
                      ? "CREATE TABLE zz (a serial)"
                      : "CREATE TABLE zz (a INTEGER PRIMARY KEY AUTOINCREMENT)");
        file.createTable("Feature", {{"mslink", "INTEGER"}});
        db = open();
    }
    std::unique_ptr<Database> db;
};

// What only a file of the embedded engine shows: its limits written into the file, its date texts.
class SchemaOnSqlite : public Schema {};

TEST_P(Schema, TablesAreListedOnceInCreationOrderWithoutTheEnginesOwn) {
    EXPECT_EQ(tableNames(*db), (std::vector<QString>{"MsCatalog", "zz", "Feature"}));
    TableDef def = Database::CreateTableDef("CONTROLPROCESO");
    def.Append(TableDef::CreateField("NombreTabla", dbText, 255));
    db->AppendTableDef(def);
    // A table another program adds shows up at the next count too.
    file.createTable("Otra", {{"x", "TEXT"}});
    EXPECT_EQ(tableNames(*db),
              (std::vector<QString>{"MsCatalog", "zz", "Feature", "CONTROLPROCESO", "Otra"}));
    EXPECT_EQ(engineErrorOf([&] { db->TableDefName(5); }).number(), errnum::kTableNotFound);
}

TEST_P(Schema, CreatedTableHasItsFieldsInOrderWithTheirTypes) {
    TableDef def = Database::CreateTableDef("PARCELAS");
    def.Append(TableDef::CreateField("MsLink", dbLong));
    def.Append(TableDef::CreateField("tcomplet", dbText));
    def.Append(TableDef::CreateField("tmapa", dbText, 100));
    def.Append(TableDef::CreateField("clasific", dbInteger));
    def.Append(TableDef::CreateField("Fecha", dbDate));
    db->AppendTableDef(def);
    EXPECT_EQ(db->FieldNames("parcelas"),
              (std::vector<QString>{"MsLink", "tcomplet", "tmapa", "clasific", "Fecha"}));
    EXPECT_TRUE(file.rows("PARCELAS").empty());
    // Appending the same name again, in another case, is refused by the engine.
    const EngineError e = engineErrorOf([&] { db->AppendTableDef(def); });
    EXPECT_TRUE(e.description().contains("PARCELAS"));
}

TEST_P(Schema, FieldAppendedToATableNamedInAnotherCaseReadsNullInOldRows) {
    file.insertRows("Feature", {{1}, {2}});
    db->AppendField("FEATURE", TableDef::CreateField("tfeature", dbLong));
    EXPECT_EQ(db->FieldNames("Feature"), (std::vector<QString>{"mslink", "tfeature"}));
    for (const auto& row : db->ReadRows("feature", {"TFEATURE"})) {
        EXPECT_TRUE(row.values[0].isNull());
    }
    db->InsertRow("Feature", {{"tfeature", 2147483647}});
    EXPECT_EQ(engineErrorOf([&] {
                  db->InsertRow("Feature", {{"tfeature", 2147483648LL}});
              }).number() &
                  0xff,
              19);  // SQLite's constraint family
}

// Each created field refuses what the type cannot hold, and the refusal names the field and the table.
TEST_P(Schema, CreatedFieldsRefuseValuesTheirTypeCannotHold) {
    TableDef def = Database::CreateTableDef("LIMITES");
    def.Append(TableDef::CreateField("corto", dbText, 3));
    def.Append(TableDef::CreateField("entero", dbInteger));
    def.Append(TableDef::CreateField("largo", dbLong));
    db->AppendTableDef(def);
    struct Case {
        const char* field;
        QVariant accepted;
        QVariant refused;
    };
    const std::vector<Case> cases = {
        {"corto", QStringLiteral("ñañ"), QStringLiteral("abcd")},
        {"entero", -32768, 32768},
        {"entero", 32767, -32769},
        {"largo", -2147483648LL, 2147483648LL},
        {"largo", QStringLiteral("12"), QStringLiteral("doce")},
        {"entero", 1, 1.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        db->InsertRow("LIMITES", {{c.field, c.accepted}});
        const EngineError e = engineErrorOf([&] { db->InsertRow("LIMITES", {{c.field, c.refused}}); });
        EXPECT_EQ(e.number(), errnum::kValueRefused);
        EXPECT_TRUE(e.description().contains(c.field)) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains("LIMITES"));
    }
    EXPECT_EQ(file.rows("LIMITES").size(), cases.size());  // nothing refused was stored
    // Null fits every type.
    db->InsertRow("LIMITES", {{"corto", QVariant()}, {"entero", QVariant()}, {"largo", QVariant()}});
}

// The limits live in the file, so another program writing to it meets them too; and a sized text
// column of a file made elsewhere, without checks, is held to its size by the layer.
TEST_F(SchemaOnSqlite, TextSizesHoldForFilesAndWritersOfAnyOrigin) {
    TableDef def = Database::CreateTableDef("HECHA");
    def.Append(TableDef::CreateField("tmapa", dbText, 4));
    db->AppendTableDef(def);
    file.createTable("AJENA", {{"tmapa", "VARCHAR(4)"}});
    EXPECT_EQ(engineErrorOf([&] {
                  db->InsertRow("ajena", {{"tmapa", "cinco"}});
              }).number(),
              errnum::kValueRefused);
    db->InsertRow("ajena", {{"tmapa", "ñÑñÑ"}});  // characters, not bytes
    db->Close();
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "schema-other-writer");
        other.setDatabaseName(file.path());
        ASSERT_TRUE(other.open());
        QSqlQuery q(other);
        EXPECT_FALSE(q.exec("INSERT INTO HECHA (tmapa) VALUES ('cinco')"));
        EXPECT_TRUE(q.exec("INSERT INTO HECHA (tmapa) VALUES ('cuat')"));
    }
    QSqlDatabase::removeDatabase("schema-other-writer");
}

// SQLite matches identifiers in any case only for ASCII letters; the layer matches every letter.
TEST_P(Schema, NamesWithAccentedLettersMatchInAnyCase) {
    file.createTable("Señales", {{"Año", "INTEGER"}, {"mslink", "INTEGER"}});
    file.insertRows("Señales", {{1990, 1}});
    db->AppendField("SEÑALES", TableDef::CreateField("Situación", dbText, 10));
    db->InsertRow("señales", {{"AÑO", 2000}, {"SITUACIÓN", "sur"}});
    auto r = db->OpenRecordset(Query::all("SEÑALES"), dbOpenSnapshot);
    EXPECT_EQ(r->Value("año").toInt(), 1990);
    r->MoveNext();
    EXPECT_EQ(r->Value("situación").toString(), "sur");
}

// A column may be called like the engine's row identity; rows are still told apart and kept in order.
TEST_P(Schema, ColumnNamedLikeTheRowIdentityDoesNotConfuseRows) {
    file.createTable("RARA", {{"rowid", "TEXT"}, {"mslink", "INTEGER"}});
    file.insertRows("RARA", {{"b", 1}, {"a", 1}});
    auto r = db->OpenRecordset(Query::mslinkEquals("RARA", 1), dbOpenDynaset);
    r->MoveNext();
    r->Edit();
    r->SetValue("mslink", 2);
    r->Update();
    const std::vector<DbRow> rows = file.rows("RARA");
    EXPECT_EQ(rows[0][0].toString(), "b");
    EXPECT_EQ(rows[0][1].toInt(), 1);
    EXPECT_EQ(rows[1][1].toInt(), 2);
}

TEST_F(SchemaOnSqlite, DatesAreStoredAsIsoTextAndReadBackAsDateTimes) {
    TableDef def = Database::CreateTableDef("CONTROLPROCESO");
    def.Append(TableDef::CreateField("Fecha", dbDate));
    def.Append(TableDef::CreateField("Hora", dbDate));
    db->AppendTableDef(def);
    const QDateTime moment(QDate(2026, 12, 7), QTime(4, 5, 6));
    db->InsertRow("CONTROLPROCESO", {{"Fecha", moment.date()}, {"Hora", moment.time()}});
    db->InsertRow("CONTROLPROCESO", {{"Fecha", moment}, {"Hora", "no es una fecha"}});
    file.insertRows("CONTROLPROCESO", {{"2026-12-07T04:05:06.500", "2026-12-07"}});  // written elsewhere
    const std::vector<DbRow> stored = file.rows("CONTROLPROCESO");
    EXPECT_EQ(stored[0][0].toString(), "2026-12-07 00:00:00");
    EXPECT_EQ(stored[0][1].toString(), "1899-12-30 04:05:06");
    EXPECT_EQ(stored[1][0].toString(), "2026-12-07 04:05:06");
    auto r = db->OpenRecordset(Query::all("CONTROLPROCESO"), dbOpenSnapshot);
    EXPECT_EQ(r->Value("Fecha").toDateTime(), moment.date().startOfDay());
    EXPECT_EQ(r->Value("Hora").toDateTime(), QDateTime(QDate(1899, 12, 30), moment.time()));
    r->MoveNext();
    EXPECT_EQ(r->Value("Fecha").toDateTime(), moment);
    EXPECT_EQ(r->Value("Hora").toString(), "no es una fecha");  // not a date text: the raw value
    r->MoveNext();
    EXPECT_EQ(r->Value("Fecha").toDateTime(), moment.addMSecs(500));
    EXPECT_EQ(r->Value("Hora").toDateTime(), moment.date().startOfDay());
}

INSTANTIATE_TEST_SUITE_P(Engines, Schema, bothEngines(), engineName);

}  // namespace
}  // namespace vexilo::testing
