// The fast paths of the run's caches and the grouping of writes in transactions.

#include <QSqlDatabase>

#include "enginetest.h"

namespace vexilo::testing {
namespace {

using RowHandling = engines::Database::RowHandling;

using core::EngineError;
using engines::dbOpenSnapshot;
using engines::Query;
namespace errnum = engines::errnum;

class FastPaths : public EngineTest {
  protected:
    void SetUp() override {
        createAttributeTable("PARCELAS");
        file.insertRows("PARCELAS", {{5, QVariant(), "cinco", QVariant(), QVariant()}});
        db = open();
    }

    // The index reads of PARCELAS give, row by row and value by value, what a recordset reads.
    void expectReadsAsRecordsets(const std::vector<QString>& columns, std::size_t count) {
        const auto rows = db->ReadRows("PARCELAS", columns);
        auto r = db->OpenRecordset(Query::table("PARCELAS"), engines::dbOpenSnapshot);
        ASSERT_EQ(rows.size(), count);
        for (const auto& row : rows) {
            ASSERT_FALSE(r->Eof());
            EXPECT_EQ(row.id, r->CurrentRowId());
            for (std::size_t i = 0; i < columns.size(); ++i) {
                SCOPED_TRACE(qPrintable(columns[i] + QStringLiteral(" of row %1").arg(row.id)));
                const QVariant read = r->Value(columns[i]);
                EXPECT_EQ(row.values[i].isNull(), read.isNull());
                if (!read.isNull()) {
                    EXPECT_EQ(row.values[i].typeId(), read.typeId());
                    EXPECT_EQ(row.values[i], read);
                }
            }
            r->MoveNext();
        }
    }

    std::unique_ptr<engines::Database> db;
};

TEST_P(FastPaths, InsertUpdateAndReadAgreeOnRowIdentity) {
    const engines::RowId first = db->InsertRow("parcelas", {{"MSLINK", 6}, {"tmapa", "seis"}});
    const engines::RowId second = db->InsertRow("PARCELAS", {{"mslink", 7}, {"tmapa", ""}});
    EXPECT_NE(first, second);
    db->UpdateRow("Parcelas", first, {{"tfeature", 100}, {"tmapa", QVariant()}});
    const auto rows = db->ReadRows("PARCELAS", {"tmapa", "mslink", "no_existe", "TFEATURE"});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].id, first);
    EXPECT_EQ(rows[2].id, second);
    EXPECT_EQ(rows[0].values[0].toString(), "cinco");
    EXPECT_TRUE(rows[1].values[0].isNull());  // set to Null
    EXPECT_EQ(rows[1].values[3].toInt(), 100);
    EXPECT_FALSE(rows[2].values[0].isNull());  // an empty text
    for (const auto& row : rows) {
        EXPECT_TRUE(row.values[2].isNull());  // an absent column reads as Null
    }
    // The same identity reaches the row through a recordset.
    auto r = db->OpenRecordset(Query::mslinkEquals("PARCELAS", 7), dbOpenSnapshot);
    EXPECT_EQ(r->CurrentRowId(), second);
}

// Writes remember how a list of names resolved: the same names on another table, in another case, or
// after the schema changed must still reach the right columns, and a table gone with a rollback is gone.
TEST_F(FastPaths, RememberedWriteTargetsFollowTablesCaseAndSchemaChanges) {
    file.createTable("OTRA", {{"tmapa", "TEXT"}, {"mslink", "INTEGER"}});
    db = open();
    db->InsertRow("PARCELAS", {{"mslink", 6}, {"tmapa", "seis"}});
    db->InsertRow("OTRA", {{"mslink", 6}, {"tmapa", "seis"}});
    db->InsertRow("otra", {{"MSLINK", 7}, {"TMAPA", "siete"}});
    EXPECT_EQ(file.rows("OTRA"), (std::vector<DbRow>{{"seis", 6}, {"siete", 7}}));
    EXPECT_EQ(file.rows("PARCELAS").back()[2], "seis");  // tmapa

    db->AppendField("OTRA", engines::TableDef::CreateField("nota", engines::dbText, 10));
    db->InsertRow("OTRA", {{"mslink", 8}, {"tmapa", "ocho"}});
    db->InsertRow("OTRA", {{"mslink", 9}, {"nota", "n"}});
    EXPECT_EQ(file.rows("OTRA").back(), (DbRow{QVariant(), 9, "n"}));

    db->BeginTrans();
    engines::TableDef def = engines::Database::CreateTableDef("NUEVA");
    def.Append(engines::TableDef::CreateField("mslink", engines::dbLong));
    db->AppendTableDef(def);
    db->InsertRow("NUEVA", {{"mslink", 1}});
    db->Rollback();
    EXPECT_EQ(engineErrorOf([&] {
                  db->InsertRow("NUEVA", {{"mslink", 1}});
              }).number(),
              errnum::kTableNotFound);
}

// A job that is only simulated does everything in its transaction and closes without keeping any of it:
// rows written, changed and tables created are gone; an ordinary closing keeps them.
TEST_P(FastPaths, AClosingThatDiscardsLeavesTheDatabaseAsTheTransactionFoundIt) {
    const std::vector<DbRow> before = file.rows("PARCELAS");
    const int tables = db->TableDefsCount();
    db->BeginTrans();
    db->DiscardOnClose();
    const engines::RowId five = db->ReadRows("PARCELAS", {"mslink"}).front().id;
    db->UpdateRow("PARCELAS", five, {{"tmapa", "cambiado"}});
    db->InsertRow("PARCELAS", {{"mslink", 6}, {"tmapa", "seis"}});
    engines::TableDef def("NUEVA");
    def.Append(engines::TableDef::CreateField("mslink", engines::dbLong));
    db->AppendTableDef(def);
    db->Close();
    EXPECT_EQ(file.rows("PARCELAS"), before);
    db = open();
    EXPECT_EQ(db->TableDefsCount(), tables);

    db->BeginTrans();
    db->InsertRow("PARCELAS", {{"mslink", 7}, {"tmapa", "siete"}});
    db->Close();
    EXPECT_EQ(file.rows("PARCELAS").size(), before.size() + 1);
}

// The fast paths write through the engine's own statements: every kind of value must be stored as the
// recordsets store it, a refused value must fail as any statement fails, and a rollback undoes them.
TEST_P(FastPaths, FastWritesStoreValuesAsRecordsetsDoAndFailAsStatementsDo) {
    const std::vector<QVariant> kinds = {QVariant(),
                                         7,
                                         qlonglong(1) << 40,
                                         2.5,
                                         QStringLiteral("Peña"),
                                         QStringLiteral(""),
                                         QStringLiteral("ñandú € 地図 \U0001F5FA"),  // 2, 3 and 4 bytes
                                         QString(300, QChar(0x20AC)) + QStringLiteral("fin"),
                                         QByteArray("\x01\x02", 2),
                                         true};
    for (const QVariant& v : kinds) {
        db->InsertRow("PARCELAS", {{"mslink", 1}, {"tcomplet", v}});
        auto r = db->OpenRecordset(Query::table("PARCELAS"), engines::dbOpenDynaset);
        r->AddNew();
        r->SetValue("mslink", 2);
        r->SetValue("tcomplet", v);
        r->Update();
    }
    const auto rows = db->ReadRows("PARCELAS", {"tcomplet"});
    ASSERT_EQ(rows.size(), 1 + 2 * kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        SCOPED_TRACE(i);
        const QVariant& fast = rows[1 + 2 * i].values[0];
        const QVariant& slow = rows[2 + 2 * i].values[0];
        EXPECT_EQ(fast.isNull(), slow.isNull());
        EXPECT_EQ(fast.typeId(), slow.typeId());
        EXPECT_EQ(fast, slow);
    }

    engines::TableDef def("CHEQUEOS");
    def.Append(engines::TableDef::CreateField("mslink", engines::dbLong));
    def.Append(engines::TableDef::CreateField("clasific", engines::dbInteger));
    db->AppendTableDef(def);
    const engines::RowId kept = db->InsertRow("CHEQUEOS", {{"mslink", 1}, {"clasific", 2}});
    db->BeginTrans();
    db->InsertRow("PARCELAS", {{"mslink", 3}, {"tmapa", "dentro"}});
    EngineError e = engineErrorOf([&] { db->InsertRow("CHEQUEOS", {{"mslink", 4}, {"clasific", 70000}}); });
    EXPECT_EQ(e.number(), errnum::kValueRefused);
    EXPECT_TRUE(e.description().contains("clasific")) << qPrintable(e.description());
    e = engineErrorOf([&] { db->UpdateRow("CHEQUEOS", kept, {{"mslink", "no es un número"}}); });
    EXPECT_TRUE(e.description().contains("'mslink'") && e.description().contains("CHEQUEOS"))
        << qPrintable(e.description());
    db->Rollback();
    EXPECT_EQ(db->ReadRows("PARCELAS", {"mslink"}).size(), rows.size());
    const auto checked = db->ReadRows("CHEQUEOS", {"mslink", "clasific"});
    ASSERT_EQ(checked.size(), 1u);
    EXPECT_EQ(checked[0].values[0].toInt(), 1);
}

// A malformed text (a lone half of a surrogate pair) or one holding a NUL is stored by the fast path byte
// for byte as SQLite's own conversion stores it through a plain statement.
TEST_F(FastPaths, UnusualTextsAreStoredAsSqliteStoresThem) {
    const QString high(QChar(0xD83D)), low(QChar(0xDDFA)), nul(QChar(0));
    const std::vector<QString> texts = {high + QStringLiteral("x"),
                                        QStringLiteral("x") + high,
                                        low + QStringLiteral("ñ"),
                                        low + high,
                                        QStringLiteral("ab") + nul + QStringLiteral("cd"),
                                        nul};
    for (const QString& t : texts) {
        db->InsertRow("PARCELAS", {{"mslink", 1}, {"tcomplet", t}});
    }
    db.reset();
    for (const QString& t : texts) {
        file.insertRows("PARCELAS", {{2, t, QVariant(), QVariant(), QVariant()}});
    }
    // Read back, both would give the same replacement characters: compare the stored bytes.
    file.exec("CREATE TABLE BYTES AS SELECT hex(tcomplet) AS h FROM PARCELAS ORDER BY rowid");
    const std::vector<DbRow> rows = file.rows("BYTES");
    ASSERT_EQ(rows.size(), 1 + 2 * texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[1 + i][0].toString(), rows[1 + texts.size() + i][0].toString());
    }
}

// The rows of the run's indexes are read by SQLite's own statements: every kind of stored value,
// whatever the column's declared type, must read exactly as a recordset reads it.
TEST_F(FastPaths, IndexReadsGiveWhatRecordsetsGive) {
    db.reset();
    file.insertRows("PARCELAS", {{6, "texto", "ñandú € \U0001F5FA", 2.5, QVariant()},
                                 {7, QByteArray("\x00\x01", 2), QVariant(), "no es un número", 3},
                                 {2.5, "", "x", 1e300, -1},
                                 {QVariant(), 42, 7.25, qlonglong(1) << 40, "12"}});
    db = open();
    expectReadsAsRecordsets({"mslink", "tcomplet", "tmapa", "tfeature", "clasific"}, 5);
}

// On both engines the index reads use the engine's own reading where it has one: every value must read
// as a recordset (the engine's QtSql driver) reads it, a date as a moment, and a table with a column of
// another type is still read whole.
TEST_P(FastPaths, IndexReadsOfEveryEngineGiveWhatRecordsetsGive) {
    db->AppendField("PARCELAS", engines::TableDef::CreateField("fecha", engines::dbDate));
    db->InsertRow("PARCELAS", {{"mslink", 6},
                               {"tcomplet", "a\tb\nc"},
                               {"tmapa", "ñandú €"},
                               {"tfeature", 7},
                               {"fecha", QDateTime(QDate(2024, 2, 29), QTime(10, 0))}});
    db->InsertRow("PARCELAS", {{"mslink", -7}, {"tcomplet", ""}, {"clasific", 3}});
    const std::vector<QString> columns = {"mslink", "tcomplet", "tmapa", "tfeature", "clasific", "fecha"};
    expectReadsAsRecordsets(columns, 3);
    db->AppendField("PARCELAS", engines::TableDef::CreateField("area", engines::dbDouble));
    db->UpdateRow("PARCELAS", db->ReadRows("PARCELAS", {"mslink"}).front().id, {{"area", 2.5}});
    std::vector<QString> withArea = columns;
    withArea.push_back("area");
    expectReadsAsRecordsets(withArea, 3);
}

// The loaders take whole numbers and texts as SQLite stores them: what a stored row lends must be what
// the same row reads as, and a date column's text, which reads as a moment, is never lent.
TEST_F(FastPaths, StoredRowsLendOnlyWhatTheirValuesRead) {
    db->AppendField("PARCELAS", engines::TableDef::CreateField("fecha", engines::dbDate));
    db.reset();
    file.insertRows("PARCELAS", {{6, "texto", "ñandú € \U0001F5FA", 2.5, QVariant(), "2024-02-29 10:00:00"},
                                 {7, QByteArray("\x00\x01", 2), QVariant(), "no es un número", 3, 5},
                                 {2.5, "", "  x ", 1e300, -1, "no es una fecha"},
                                 {QVariant(), 42, 7.25, qlonglong(1) << 40, "12", QVariant()}});
    db = open();
    const std::vector<QString> columns = {"mslink", "tcomplet", "tmapa", "tfeature", "clasific", "fecha"};
    const auto rows = db->ReadRows("PARCELAS", columns);
    for (const auto handling : {RowHandling::Light, RowHandling::Heavy}) {
        SCOPED_TRACE(handling == RowHandling::Heavy ? "read ahead" : "read in place");
        std::size_t at = 0;
        int integers = 0;
        int texts = 0;
        db->ForEachStoredRow(
            "PARCELAS", columns,
            [&](const engines::Database::StoredRow& stored) {
                ASSERT_LT(at, rows.size());
                const engines::Database::Row& row = rows[at++];
                EXPECT_EQ(stored.id(), row.id);
                for (std::size_t i = 0; i < columns.size(); ++i) {
                    SCOPED_TRACE(qPrintable(columns[i] + QStringLiteral(" of row %1").arg(row.id)));
                    EXPECT_EQ(stored.value(i), row.values[i]);
                    EXPECT_EQ(stored.isNull(i), row.values[i].isNull());
                    if (const std::optional<std::int64_t> n = stored.integer(i)) {
                        ++integers;
                        EXPECT_EQ(row.values[i].typeId(), QMetaType::LongLong);
                        EXPECT_EQ(*n, row.values[i].toLongLong());
                    }
                    if (const std::optional<engines::Database::StoredText> t = stored.text(i)) {
                        ++texts;
                        EXPECT_NE(columns[i], "fecha");
                        EXPECT_EQ(row.values[i].typeId(), QMetaType::QString);
                        EXPECT_EQ(std::visit([](auto v) { return v.toString(); }, *t),
                                  row.values[i].toString());
                    }
                }
            },
            handling);
        EXPECT_EQ(at, rows.size());
        EXPECT_EQ(integers, 7);  // three mslink, three clasific, one tfeature; not the date column's 5
        EXPECT_EQ(texts, 8);     // ASCII and other texts, the empty one included; never the dates
    }
}

// A loader's read of a table of many parts is stepped on another thread while the rows before are
// handed over: it still gives every row, in stored order, as the same rows read in place.
TEST_F(FastPaths, StoredRowsOfManyPartsComeWholeAndInOrder) {
    db.reset();
    std::vector<DbRow> rows;
    for (int i = 0; i < 6000; ++i) {
        rows.push_back({i % 7 == 0 ? QVariant() : QVariant(i), QStringLiteral("ñandú %1").arg(i),
                        i % 3 == 0 ? QVariant() : QVariant(QStringLiteral("t%1").arg(i)), i * 0.5, i});
    }
    file.insertRows("PARCELAS", rows);
    db = open();
    const std::vector<QString> columns = {"mslink", "tcomplet", "tmapa", "tfeature", "clasific"};
    const auto expected = db->ReadRows("PARCELAS", columns);
    ASSERT_EQ(expected.size(), rows.size() + 1);  // the fixture's row first
    for (const auto handling : {RowHandling::Light, RowHandling::Heavy}) {
        std::size_t at = 0;
        db->ForEachStoredRow(
            "PARCELAS", columns,
            [&](const engines::Database::StoredRow& stored) {
                ASSERT_LT(at, expected.size());
                const engines::Database::Row& row = expected[at++];
                ASSERT_EQ(stored.id(), row.id);
                for (std::size_t i = 0; i < columns.size(); ++i) {
                    ASSERT_EQ(stored.value(i), row.values[i])
                        << qPrintable(columns[i]) << " of row " << row.id;
                }
            },
            handling);
        EXPECT_EQ(at, expected.size());
    }
}

TEST_P(FastPaths, UnknownFieldOrTableIsAnEngineErrorAndWritesNothing) {
    EngineError e = engineErrorOf([&] { db->InsertRow("PARCELAS", {{"mslink", 1}, {"nada", 1}}); });
    EXPECT_EQ(e.number(), errnum::kFieldNotFound);
    EXPECT_TRUE(e.description().contains("PARCELAS"));
    e = engineErrorOf([&] { db->ReadRows("NO_EXISTE", {"mslink"}); });
    EXPECT_EQ(e.number(), errnum::kTableNotFound);
    EXPECT_TRUE(e.description().contains("NO_EXISTE"));
    EXPECT_EQ(file.rows("PARCELAS").size(), 1u);
}

TEST_P(FastPaths, TransactionsGroupWritesAndCloseCommitsAnOpenOne) {
    EXPECT_FALSE(db->InTransaction());
    db->BeginTrans();
    db->BeginTrans();  // nested: only the outer commit ends the transaction
    EXPECT_TRUE(db->InTransaction());
    for (int i = 0; i < 1000; ++i) {
        db->InsertRow("PARCELAS", {{"mslink", 100 + i}});
    }
    db->CommitTrans();
    EXPECT_TRUE(db->InTransaction());
    EXPECT_EQ(db->ReadRows("PARCELAS", {"mslink"}).size(), 1001u);  // own writes are visible
    db->Close();
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());  // its connection is removed, not leaked
    EXPECT_EQ(file.rows("PARCELAS").size(), 1001u);
    EXPECT_EQ(engineErrorOf([&] { db->InsertRow("PARCELAS", {}); }).number(), errnum::kObjectClosed);
}

TEST_P(FastPaths, CommitWithoutBeginIsRefused) {
    EXPECT_EQ(engineErrorOf([&] { db->CommitTrans(); }).number(), errnum::kNoTransaction);
}

TEST_P(FastPaths, DestroyingAnOpenDatabaseCommitsItsTransaction) {
    db->BeginTrans();
    db->InsertRow("PARCELAS", {{"mslink", 8}});
    db.reset();
    EXPECT_EQ(file.rows("PARCELAS").size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Engines, FastPaths, bothEngines(), engineName);

}  // namespace
}  // namespace vexilo::testing
