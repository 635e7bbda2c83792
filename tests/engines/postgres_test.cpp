// What only the server engine shows: its connection failures, its hidden stored order, tables that
// other programs made in any case, and the batched writes.

#include <QDateTime>
#include <QSqlDatabase>
#include <QUrl>
#include <limits>

#include "enginetest.h"
#include "support/pgcluster.h"

namespace vexilo::testing {
namespace {

using core::EngineError;
using engines::Database;
using engines::dbOpenDynaset;
using engines::dbOpenSnapshot;
using engines::Query;
namespace errnum = engines::errnum;

class OnServer : public EngineTest {
  protected:
    OnServer() : server(Engine::Postgres) {}
    std::unique_ptr<Database> openServer() {
        return engines::DBEngine::instance().Workspaces(0).OpenDatabase(server.path());
    }
    // The test server's address for this user, password and database.
    static QString address(const QString& userInfo, const QString& dbname) {
        PgCluster* c = PgCluster::instance();
        return QStringLiteral("postgresql://%1@/%2?host=%3")
            .arg(userInfo, dbname,
                 QString::fromUtf8(QUrl::toPercentEncoding(c ? c->socketFolder() : QString())));
    }
    std::vector<qint64> mslinks(Database& db, const QString& table) {
        std::vector<qint64> result;
        for (const auto& row : db.ReadRows(table, {"mslink"})) {
            result.push_back(row.values[0].toLongLong());
        }
        return result;
    }
    TestDatabase server;
};

// Each failure to connect has a message and a number of its own; none shows the password.
TEST_F(OnServer, ConnectionFailuresAreToldApartWithoutThePassword) {
    struct Case {
        const char* what;
        QString uri;
        int number;
        const char* named;
    };
    const QString wrong = QStringLiteral("clave-erronea-9");
    const std::vector<Case> cases = {
        {"no server at the socket folder", "postgresql://postgres:" + wrong + "@/x?host=%2Fno%2Fexiste",
         errnum::kServerUnreachable, "No se puede conectar"},
        {"wrong password", address(PgCluster::passwordUser() + ":" + wrong, "postgres"),
         errnum::kLoginRefused, "rechaza"},
        {"unknown user", address("nadie:" + wrong, "postgres"), errnum::kLoginRefused, "rechaza"},
        {"missing database", address("postgres:" + wrong, "no_hay_tal"), errnum::kDatabaseNotFound,
         "no_hay_tal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const EngineError e =
            engineErrorOf([&] { engines::DBEngine::instance().Workspaces(0).OpenDatabase(c.uri); });
        EXPECT_EQ(e.number(), c.number) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(c.named)) << e.description().toStdString();
        EXPECT_FALSE(e.description().contains(wrong)) << e.description().toStdString();
    }
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
    // The right password opens, and the database's name in messages never carries it.
    const QString good =
        address(PgCluster::passwordUser() + ":" + PgCluster::passwordOf(), QUrl(server.path()).path().mid(1));
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(good);
    EXPECT_FALSE(db->path().contains(PgCluster::passwordOf()));
    const EngineError e = engineErrorOf([&] { db->OpenRecordset(Query::all("NO_EXISTE"), dbOpenSnapshot); });
    EXPECT_FALSE(e.description().contains(PgCluster::passwordOf()));
}

TEST_F(OnServer, CreateDatabaseMakesANewOneAndRefusesAnExistingOne) {
    const QString uri = address("postgres", "creada_aqui");
    engines::CreateDatabase(uri)->Close();
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(uri);
    EXPECT_EQ(db->TableDefsCount(), 0);
    db->Close();
    EXPECT_EQ(engineErrorOf([&] { engines::CreateDatabase(uri); }).number(), errnum::kDatabaseExists);
}

// The server moves an updated row to another place; the stored order must not follow it.
TEST_F(OnServer, StoredOrderStaysWhenRowsAreUpdated) {
    server.createTable("PARCELAS", {{"mslink", "INTEGER"}, {"tmapa", "TEXT"}});
    server.insertRows("PARCELAS", {{3, "a"}, {1, "b"}, {2, "c"}});
    auto db = openServer();
    db->UpdateRow("PARCELAS", db->ReadRows("PARCELAS", {})[0].id, {{"tmapa", QString(2000, 'x')}});
    auto r = db->OpenRecordset(Query::all("PARCELAS"), dbOpenDynaset);
    r->MoveNext();
    r->Edit();
    r->SetValue("tmapa", "cambiado");
    r->Update();
    EXPECT_EQ(mslinks(*db, "PARCELAS"), (std::vector<qint64>{3, 1, 2}));
    EXPECT_EQ(db->FieldNames("PARCELAS"),
              (std::vector<QString>{"mslink", "tmapa"}));  // the order column is hidden
    EXPECT_EQ(server.rows("PARCELAS")[1][1].toString(), "cambiado");
}

// Another program's tables: any case (an unquoted name is stored in lower case), and no stored-order
// column until one is added on request.
TEST_F(OnServer, TablesOfAnotherProgramMatchInAnyCaseAndGetTheirOrderOnRequest) {
    server.exec("CREATE TABLE OtraParcela (MsLink integer, TMapa varchar(5), Fecha timestamp)");
    server.createForeignTable("Mixta", {{"MsLink", "INTEGER"}});
    server.exec("INSERT INTO otraparcela VALUES (20, 'b', '2026-12-07 04:05:06'), (10, 'a', NULL)");
    auto db = openServer();
    EXPECT_FALSE(db->HasNaturalOrder("OTRAPARCELA"));
    const EngineError e =
        engineErrorOf([&] { db->OpenRecordset(Query::all("OTRAPARCELA"), dbOpenSnapshot)->RecordCount(); });
    EXPECT_EQ(e.number(), errnum::kFieldNotFound);
    EXPECT_TRUE(e.description().contains("otraparcela") && e.description().contains("vexilo_orden"))
        << e.description().toStdString();
    db->AddNaturalOrder("OtraParcela");
    db->AddNaturalOrder("mixta");
    EXPECT_TRUE(db->HasNaturalOrder("otraparcela"));
    EXPECT_TRUE(db->HasNaturalOrder("MIXTA"));
    EXPECT_EQ(mslinks(*db, "OTRAPARCELA"), (std::vector<qint64>{20, 10}));
    auto r = db->OpenRecordset(Query::mslinkEquals("OtraParcela", 20), dbOpenSnapshot);
    EXPECT_EQ(r->Value("tmapa").toString(), "b");
    EXPECT_EQ(r->Value("FECHA").toDateTime(), QDateTime(QDate(2026, 12, 7), QTime(4, 5, 6)));
    EXPECT_EQ(engineErrorOf([&] {
                  db->InsertRow("otraparcela", {{"tmapa", "seis c"}});
              }).number(),
              errnum::kValueRefused);
    db->InsertRow("Mixta", {{"mslink", 1}});
    EXPECT_EQ(db->TableDefName(1), "Mixta");
}

TEST_F(OnServer, DatesAreTimestampsAndReadBackAsDateTimes) {
    engines::TableDef def("CONTROLPROCESO");
    def.Append(engines::TableDef::CreateField("Fecha", engines::dbDate));
    def.Append(engines::TableDef::CreateField("Hora", engines::dbDate));
    auto db = openServer();
    db->AppendTableDef(def);
    const QDateTime moment(QDate(2026, 12, 7), QTime(4, 5, 6));
    db->InsertRow("CONTROLPROCESO", {{"Fecha", moment.date()}, {"Hora", moment.time()}});
    db->InsertRow("CONTROLPROCESO", {{"Fecha", moment}, {"Hora", "2026-12-07T04:05:06"}});
    const EngineError e = engineErrorOf([&] {
        db->InsertRow("CONTROLPROCESO", {{"Hora", "no es una fecha"}});
    });
    EXPECT_EQ(e.number(), errnum::kValueRefused);
    EXPECT_TRUE(e.description().contains("'Hora'")) << e.description().toStdString();
    auto r = db->OpenRecordset(Query::all("CONTROLPROCESO"), dbOpenSnapshot);
    EXPECT_EQ(r->Value("Fecha").toDateTime(), moment.date().startOfDay());
    EXPECT_EQ(r->Value("Hora").toDateTime(), QDateTime(QDate(1899, 12, 30), moment.time()));
    r->MoveNext();
    EXPECT_EQ(r->Value("Fecha").toDateTime(), moment);
    EXPECT_EQ(r->Value("Hora").toDateTime(), moment);
    EXPECT_EQ(server.columns("CONTROLPROCESO")[0].sqlType, "timestamp(0) without time zone");
}

// Inside a transaction rows are held and sent in batches: every later read sees them, updates of
// rows just added reach them, and nothing is in the database for others until the commit.
TEST_F(OnServer, HeldWritesAreSeenByLaterReadsAndCommittedTogether) {
    server.createTable("PARCELAS",
                       {{"mslink", "INTEGER"}, {"tmapa", "VARCHAR(20)"}, {"tfeature", "INTEGER"}});
    server.createTable("CONTROLPROCESO", {{"mslink", "INTEGER"}});
    auto db = openServer();
    db->BeginTrans();
    constexpr int kRows = 2500;  // more than one batch
    std::vector<engines::RowId> ids;
    for (int i = 0; i < kRows; ++i) {
        ids.push_back(db->InsertRow("PARCELAS", {{"mslink", i}, {"tmapa", QStringLiteral("t%1").arg(i)}}));
        db->InsertRow("CONTROLPROCESO", {{"mslink", i}});
        if (i % 10 == 0) {
            db->UpdateRow("PARCELAS", ids.back(), {{"tfeature", i}});
            db->UpdateRow("PARCELAS", ids.back(), {{"tfeature", i + 1}});  // the later write wins
            db->UpdateRow("PARCELAS", ids.back(), {{"tfeature", i + 2}, {"tmapa", "otro"}});
        }
    }
    EXPECT_TRUE(server.rows("PARCELAS").empty());  // not committed yet
    // An index's read of the table alone sees its held rows and the last of their updates.
    const std::vector<engines::Database::Row> read = db->ReadRows("PARCELAS", {"mslink", "tfeature"});
    ASSERT_EQ(read.size(), static_cast<std::size_t>(kRows));
    EXPECT_EQ(read[30].values[1].toInt(), 32);
    EXPECT_TRUE(read[31].values[1].isNull());
    EXPECT_EQ(db->OpenRecordset(Query::all("CONTROLPROCESO"), dbOpenSnapshot)->RecordCount(), kRows);
    auto r = db->OpenRecordset(Query::mslinkEquals("PARCELAS", 30), dbOpenSnapshot);
    ASSERT_EQ(r->RecordCount(), 1);
    EXPECT_EQ(r->Value("tfeature").toInt(), 32);
    EXPECT_EQ(r->Value("tmapa").toString(), "otro");
    EXPECT_EQ(r->CurrentRowId(), ids[30]);
    db->InsertRow("PARCELAS", {{"mslink", -1}});
    db->CommitTrans();
    const std::vector<DbRow> stored = server.rows("PARCELAS");
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(kRows + 1));
    for (int i = 0; i < kRows; ++i) {
        ASSERT_EQ(stored[static_cast<std::size_t>(i)][0].toInt(), i);  // in the order they were added
    }
    EXPECT_EQ(stored.back()[0].toInt(), -1);
    EXPECT_EQ(server.rows("CONTROLPROCESO").size(), static_cast<std::size_t>(kRows));
}

// A full update statement goes while the rest stays held: after the held inserts of its table, which
// add the rows it changes, and ahead of another statement's updates of other columns of those rows.
TEST_F(OnServer, AFullUpdateGoesAfterItsTablesInsertsAndTheRestStaysRight) {
    server.createTable("PARCELAS",
                       {{"mslink", "INTEGER"}, {"tmapa", "VARCHAR(20)"}, {"tfeature", "INTEGER"}});
    server.createTable("CONTROLPROCESO", {{"mslink", "INTEGER"}});
    auto db = openServer();
    db->BeginTrans();
    constexpr int kRows = 4500;  // two full update statements and some, never a full insert
    for (int i = 0; i < kRows; ++i) {
        const engines::RowId id =
            db->InsertRow("PARCELAS", {{"mslink", i}, {"tmapa", QStringLiteral("t%1").arg(i)}});
        db->InsertRow("CONTROLPROCESO", {{"mslink", i}});
        db->UpdateRow("PARCELAS", id, {{"tfeature", i}});
        if (i % 3 == 0) {
            db->UpdateRow("PARCELAS", id, {{"tmapa", QStringLiteral("u%1").arg(i)}});
        }
    }
    db->CommitTrans();
    const std::vector<DbRow> stored = server.rows("PARCELAS");
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(kRows));
    for (int i = 0; i < kRows; ++i) {
        const DbRow& row = stored[static_cast<std::size_t>(i)];
        ASSERT_EQ(row[0].toInt(), i);
        ASSERT_EQ(row[1].toString(), QStringLiteral("%1%2").arg(i % 3 == 0 ? "u" : "t").arg(i)) << i;
        ASSERT_EQ(row[2].toInt(), i) << i;
    }
    EXPECT_EQ(server.rows("CONTROLPROCESO").size(), static_cast<std::size_t>(kRows));
}

// New rows take their identities from the table's own sequence, taken ahead in blocks. A table made
// again under the same name in one connection (dropped, or its creation rolled back) has a new sequence:
// no identity taken from the old one may reach it, or its rows would share identities and lose their
// order.
TEST_F(OnServer, ATableMadeAgainUnderItsNameGivesItsRowsIdentitiesOfItsOwn) {
    auto db = openServer();
    auto create = [&] {
        engines::TableDef def("TEMPORAL");
        def.Append(engines::TableDef::CreateField("mslink", engines::dbLong));
        def.Append(engines::TableDef::CreateField("tmapa", engines::dbText, 20));
        db->AppendTableDef(def);
    };
    // Adds `count` rows, changes each through the identity it was given, and reads them back.
    auto writeAndRead = [&](int count) {
        std::vector<engines::RowId> ids;
        for (int i = 0; i < count; ++i) {
            ids.push_back(db->InsertRow("TEMPORAL", {{"mslink", i}}));
        }
        for (int i = 0; i < count; ++i) {
            db->UpdateRow("TEMPORAL", ids[static_cast<std::size_t>(i)],
                          {{"tmapa", QStringLiteral("f%1").arg(i)}});
        }
        const auto rows = db->ReadRows("TEMPORAL", {"mslink", "tmapa"});
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const auto& row = rows[static_cast<std::size_t>(i)];
            EXPECT_EQ(row.id, ids[static_cast<std::size_t>(i)]) << i;
            EXPECT_EQ(row.values[0].toInt(), i) << "stored order, row " << i;
            EXPECT_EQ(row.values[1].toString(), QStringLiteral("f%1").arg(i)) << i;
        }
    };
    struct Case {
        const char* what;
        std::function<void()> undo;  // makes the table that `create` made go away
    };
    const std::vector<Case> cases = {
        {"dropped", [&] { db->DeleteTableDef("TEMPORAL"); }},
        {"creation rolled back", [&] { db->Rollback(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        db->BeginTrans();
        create();
        writeAndRead(2);  // the second identity's block leaves one taken and not given
        c.undo();
        if (!db->InTransaction()) {
            db->BeginTrans();
        }
        create();
        writeAndRead(40);
        db->CommitTrans();
        EXPECT_EQ(server.rows("TEMPORAL").size(), 40u);
        db->DeleteTableDef("TEMPORAL");
    }
}

// A table that takes hundreds of thousands of queued rows asks for its next block of identities while
// the rows of the last are still written. The numbers are the sequence's in order, as if each block were
// taken when the last ran out: none skipped, none given twice, the stored order the order of the inserts,
// also when the transaction that asked is undone and the next one gives the block.
TEST_F(OnServer, QueuedRowsTakeTheNextBlockOfIdentitiesAheadAndInOrder) {
    auto db = openServer();
    db->BeginTrans();
    engines::TableDef def("GRANDE");
    def.Append(engines::TableDef::CreateField("mslink", engines::dbLong));
    db->AppendTableDef(def);
    db->CommitTrans();
    server.createTable("OTRA", {{"mslink", "INTEGER"}});
    db->DeferWrites();
    // Blocks of 256, 1,024, 4,096 and 16,384, then of 65,536: the next is asked for a few thousand rows
    // before the first of that size runs out.
    constexpr int kUndone = 256 + 1024 + 4096 + 16384 + 65536 - 4000;
    constexpr int kKept = 20000;
    std::vector<engines::RowId> undone;
    db->BeginTrans();
    for (int i = 0; i < kUndone; ++i) {
        undone.push_back(db->InsertRow("GRANDE", {{"mslink", i}}));
    }
    db->ReadRows("OTRA", {"mslink"});  // every queued row written, the asked block with them
    db->Rollback();
    std::vector<engines::RowId> kept;
    db->BeginTrans();
    for (int i = 0; i < kKept; ++i) {
        kept.push_back(db->InsertRow("GRANDE", {{"mslink", i}}));
    }
    db->CommitTrans();
    for (std::size_t i = 1; i < undone.size(); ++i) {
        ASSERT_EQ(undone[i], undone[i - 1] + 1) << i;
    }
    // The undone rows' numbers are not given again, and the asked block follows the last one.
    EXPECT_EQ(kept.front(), undone.back() + 1);
    for (std::size_t i = 1; i < kept.size(); ++i) {
        ASSERT_EQ(kept[i], kept[i - 1] + 1) << i;
    }
    const auto rows = db->ReadRows("GRANDE", {"mslink"});
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kKept));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].id, kept[i]) << i;
        ASSERT_EQ(rows[i].values[0].toInt(), static_cast<int>(i)) << "stored order, row " << i;
    }
}

// Inside a transaction an index read comes through a cursor, in parts: every row reads as a recordset
// reads it, in stored order, a whole number lent as the number it reads as; a table with a column of
// another type is read whole by the driver; a read that stops half-way (its receiver throws) leaves the
// connection ready for the rest of the transaction.
TEST_F(OnServer, IndexReadsInATransactionComeInPartsAndLeaveTheConnectionReady) {
    constexpr int kRows = 10000;  // a few parts
    auto db = openServer();
    engines::TableDef def("PARTES");
    def.Append(engines::TableDef::CreateField("mslink", engines::dbLong));
    def.Append(engines::TableDef::CreateField("tmapa", engines::dbText, 40));
    def.Append(engines::TableDef::CreateField("area", engines::dbDouble));
    db->AppendTableDef(def);
    server.exec(QStringLiteral("INSERT INTO \"PARTES\" (\"mslink\", \"tmapa\", \"area\") SELECT %1 - g, "
                               "'texto ' || g, g / 4.0 FROM generate_series(1, %1) AS g")
                    .arg(kRows));
    db->BeginTrans();
    for (const std::vector<QString>& columns :
         {std::vector<QString>{"mslink", "tmapa"}, std::vector<QString>{"mslink", "tmapa", "area"}}) {
        SCOPED_TRACE(columns.size() == 2 ? "whole numbers and texts" : "a column of another type");
        const auto rows = db->ReadRows("PARTES", columns);
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
        auto r = db->OpenRecordset(Query::table("PARTES"), dbOpenSnapshot);
        for (const auto& row : rows) {
            ASSERT_FALSE(r->Eof());
            ASSERT_EQ(row.id, r->CurrentRowId());
            for (std::size_t i = 0; i < columns.size(); ++i) {
                ASSERT_EQ(row.values[i], r->Value(columns[i])) << qPrintable(columns[i]) << " of " << row.id;
            }
            r->MoveNext();
        }
    }
    int lent = 0;
    db->ForEachStoredRow(
        "PARTES", {"mslink"},
        [&](const Database::StoredRow& row) {
            if (const std::optional<std::int64_t> n = row.integer(0)) {
                ++lent;
                EXPECT_EQ(*n, row.value(0).toLongLong());
            }
        },
        Database::RowHandling::Heavy);
    EXPECT_EQ(lent, kRows);
    int seen = 0;
    EXPECT_THROW(db->ForEachStoredRow(
                     "PARTES", {"mslink"},
                     [&](const Database::StoredRow&) {
                         if (++seen == kRows / 2) {
                             throw std::runtime_error("basta");
                         }
                     },
                     Database::RowHandling::Heavy),
                 std::runtime_error);
    db->InsertRow("PARTES", {{"mslink", 0}});
    EXPECT_EQ(db->ReadRows("PARTES", {"mslink"}).size(), static_cast<std::size_t>(kRows) + 1);
    db->CommitTrans();
    EXPECT_EQ(server.rows("PARTES").size(), static_cast<std::size_t>(kRows) + 1);
}

// A refusal that only the server can make comes when the batch is sent: it names the table, and the
// rollback that follows leaves nothing of the transaction. A read of another table sends only that
// table's held rows: the refused one goes when its own table is read.
TEST_F(OnServer, RefusedBatchNamesItsTableAndLeavesNothingWritten) {
    server.createTable("LIMITADA", {{"mslink", "INTEGER CONSTRAINT positivo CHECK (mslink > 0)"}});
    server.createTable("OTRA", {{"mslink", "INTEGER"}});
    auto db = openServer();
    db->BeginTrans();
    for (int i = 1; i <= 50; ++i) {
        db->InsertRow("OTRA", {{"mslink", i}});
        db->InsertRow("LIMITADA", {{"mslink", i}});
    }
    db->InsertRow("LIMITADA", {{"mslink", -5}});  // held: the server has not seen it yet
    EXPECT_EQ(db->ReadRows("OTRA", {"mslink"}).size(), 50u);
    const EngineError e = engineErrorOf([&] { db->ReadRows("LIMITADA", {"mslink"}); });
    EXPECT_EQ(e.number(), errnum::kValueRefused);
    EXPECT_TRUE(e.description().contains("LIMITADA") && e.description().contains("positivo"))
        << e.description().toStdString();
    db->Rollback();
    EXPECT_TRUE(server.rows("LIMITADA").empty());
    EXPECT_TRUE(server.rows("OTRA").empty());
    // The connection goes on working after the rollback.
    db->InsertRow("OTRA", {{"mslink", 7}});
    EXPECT_EQ(server.rows("OTRA").size(), 1u);
}

// A batch sent while the job goes on is not waited for: its refusal comes at a later call (here the
// next batch), still naming its table and the server's reason, and nothing of the transaction is kept.
TEST_F(OnServer, ARefusalAnsweredLaterStillNamesItsTableAndLeavesNothingWritten) {
    server.createTable("LIMITADA", {{"mslink", "INTEGER CONSTRAINT positivo CHECK (mslink > 0)"}});
    auto db = openServer();
    db->BeginTrans();
    int given = 0;
    const EngineError e = engineErrorOf([&] {
        for (int i = 1; i <= 100000; ++i) {
            db->InsertRow("LIMITADA", {{"mslink", i == 5 ? -5 : i}});
            given = i;
        }
    });
    // Inserts go in batches of 10,000 rows: the call that sent the refused one returned.
    EXPECT_GE(given, 10000) << "the batch was waited for where it was sent";
    EXPECT_LT(given, 100000) << "the refusal never came";
    EXPECT_EQ(e.number(), errnum::kValueRefused);
    EXPECT_TRUE(e.description().contains("LIMITADA") && e.description().contains("positivo"))
        << e.description().toStdString();
    db->Rollback();
    EXPECT_TRUE(server.rows("LIMITADA").empty());
    db->InsertRow("LIMITADA", {{"mslink", 7}});
    EXPECT_EQ(server.rows("LIMITADA").size(), 1u);
}

// Held rows reach the server with every text as given (the characters a bulk copy escapes, the empty
// text apart from Null), and held updates of one row keep the last value of each column, whether one
// statement or two set it.
TEST_F(OnServer, HeldRowsKeepEveryCharacterAndTheLastValueOfEachColumn) {
    server.createTable("TEXTOS", {{"mslink", "INTEGER"}, {"tmapa", "TEXT"}, {"tfeature", "INTEGER"}});
    // The first two are replaced by updates; the last two carry every escaped character into COPY, as
    // plain ASCII and beside other characters.
    const std::vector<QString> texts = {"tab\there", "line\nnext", "back\\slash \\N", "cr\rend",
                                        "",          "ñandú €",    "a\tb\nc\\d\re",   "ñ\tb\nc\\d\r€"};
    auto db = openServer();
    db->BeginTrans();
    std::vector<engines::RowId> ids;
    for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
        ids.push_back(
            db->InsertRow("TEXTOS", {{"mslink", i}, {"tmapa", texts[static_cast<std::size_t>(i)]}}));
    }
    const engines::RowId null = db->InsertRow("TEXTOS", {{"mslink", 99}, {"tmapa", QVariant()}});
    db->UpdateRow("TEXTOS", ids[0], {{"tfeature", 1}});
    db->UpdateRow("TEXTOS", ids[0], {{"tmapa", "primero"}, {"tfeature", 2}});
    db->UpdateRow("TEXTOS", ids[0], {{"tfeature", 3}});
    db->UpdateRow("TEXTOS", ids[1], {{"tmapa", "solo"}});
    db->UpdateRow("TEXTOS", ids[1], {{"tfeature", 4}});
    db->CommitTrans();
    const auto rows = server.rows("TEXTOS");
    ASSERT_EQ(rows.size(), texts.size() + 1);
    EXPECT_EQ(rows[0][1].toString(), "primero");
    EXPECT_EQ(rows[0][2].toInt(), 3);
    EXPECT_EQ(rows[1][1].toString(), "solo");
    EXPECT_EQ(rows[1][2].toInt(), 4);
    for (std::size_t i = 2; i < texts.size(); ++i) {
        EXPECT_EQ(rows[i][1].toString(), texts[i]) << i;
        EXPECT_FALSE(rows[i][1].isNull()) << i;
    }
    EXPECT_TRUE(rows.back()[1].isNull());
    EXPECT_NE(null, 0);
}

// Held inserts go to the server in COPY's binary form where every column is a whole number, a text or a
// timestamp, and in its text form where any column is of another type: either way each value is stored
// alike, at the ends of each width and of the years a stored date writes in four digits. A moment the
// binary form does not carry (a year past 9999) goes in the text form in its place among the others.
TEST_F(OnServer, HeldRowsInEitherFormOfCopyAreStoredAlikeAndInOrder) {
    const std::vector<Column> columns = {{"mslink", "INTEGER"},
                                         {"corto", "SMALLINT"},
                                         {"largo", "BIGINT"},
                                         {"tmapa", "VARCHAR(20)"},
                                         {"fecha", "TIMESTAMP(0) WITHOUT TIME ZONE"}};
    server.createTable("BINARIA", columns);
    std::vector<Column> withReal = columns;
    withReal.push_back({"area", "DOUBLE PRECISION"});
    server.createTable("TEXTUAL", withReal);
    constexpr qlonglong kMin = std::numeric_limits<qlonglong>::min();
    constexpr qlonglong kMax = std::numeric_limits<qlonglong>::max();
    const auto row = [](int mslink, QVariant corto, QVariant largo, QVariant tmapa, QVariant fecha) {
        return engines::FieldValues{{"mslink", mslink},
                                    {"corto", std::move(corto)},
                                    {"largo", std::move(largo)},
                                    {"tmapa", std::move(tmapa)},
                                    {"fecha", std::move(fecha)}};
    };
    const std::vector<engines::FieldValues> rows = {
        row(1, -32768, kMin, "", QDateTime(QDate(1, 1, 1), QTime(0, 0))),
        row(2, 32767, kMax, QStringLiteral("ñandú €\t\\N"),
            QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59))),
        row(3, QVariant(), QVariant(), QVariant(), QVariant()),
        row(4, 0, 0, "x", QDateTime(QDate(10000, 1, 1), QTime(0, 0))),
        row(5, 1, -1, "y", QTime(0, 26, 25)),
        row(6, -1, 1, "z", QDate(2024, 2, 29)),
    };
    auto db = openServer();
    db->BeginTrans();
    for (const QString table : {"BINARIA", "TEXTUAL"}) {
        for (const auto& r : rows) {
            db->InsertRow(table, r);
        }
    }
    db->CommitTrans();
    db.reset();
    for (const QString table : {"BINARIA", "TEXTUAL"}) {
        server.exec(
            QStringLiteral("CREATE TABLE \"VISTA_%1\" AS SELECT mslink, corto, largo, tmapa, fecha::text "
                           "AS fecha FROM \"%1\" ORDER BY vexilo_orden")
                .arg(table));
    }
    const std::vector<DbRow> binary = server.rows("VISTA_BINARIA");
    ASSERT_EQ(binary.size(), rows.size());
    EXPECT_EQ(binary, server.rows("VISTA_TEXTUAL"));
    EXPECT_EQ(binary[0][2].toLongLong(), kMin);
    EXPECT_EQ(binary[1][2].toLongLong(), kMax);
    EXPECT_EQ(binary[1][3].toString(), QStringLiteral("ñandú €\t\\N"));
    const std::vector<QString> moments = {
        "0001-01-01 00:00:00",  "9999-12-31 23:59:59", "",
        "10000-01-01 00:00:00", "1899-12-30 00:26:25", "2024-02-29 00:00:00"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(binary[i][0].toInt(), static_cast<int>(i) + 1);
        EXPECT_EQ(binary[i][4].toString(), moments[i]);
    }
    EXPECT_TRUE(binary[2][1].isNull() && binary[2][2].isNull() && binary[2][3].isNull() &&
                binary[2][4].isNull());

    // A text the server refuses (it holds a NUL) is refused alike, naming its table.
    std::vector<QString> refusals;
    for (const QString table : {"BINARIA", "TEXTUAL"}) {
        auto again = openServer();
        again->BeginTrans();
        const QString nul = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
        QString refused = engineErrorOf([&] {
                              again->InsertRow(table, row(7, 1, 1, nul, QVariant()));
                              again->CommitTrans();
                          }).description();
        refusals.push_back(refused.replace(table, QStringLiteral("TABLA")));
        again->Rollback();
    }
    EXPECT_EQ(refusals[0], refusals[1]);
    EXPECT_TRUE(refusals[0].contains(QStringLiteral("TABLA"))) << qPrintable(refusals[0]);
    EXPECT_EQ(server.rows("BINARIA").size(), rows.size());
}

// Held updates go to the server as arrays of texts: no value may be read as the array's own syntax
// (a quote, a backslash, a comma, a brace, the word NULL, blanks at the ends) or lose its Null.
TEST_F(OnServer, HeldUpdatesKeepEveryCharacterAndEveryNull) {
    server.createTable("TEXTOS", {{"mslink", "INTEGER"}, {"tmapa", "TEXT"}, {"tfeature", "INTEGER"}});
    const std::vector<QVariant> texts = {"a\"b",       "back\\slash\\", "NULL",     "{x,y}", "",
                                         "  blancos ", "ñandú € \\\"",  QVariant(), "a,b"};
    auto db = openServer();
    db->BeginTrans();
    std::vector<engines::RowId> ids;
    for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
        ids.push_back(db->InsertRow("TEXTOS", {{"mslink", i}, {"tmapa", "antes"}, {"tfeature", 0}}));
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const QVariant number = i % 2 == 0 ? QVariant() : QVariant(static_cast<int>(i));
        db->UpdateRow("TEXTOS", ids[i], {{"tmapa", texts[i]}, {"tfeature", number}});
    }
    db->CommitTrans();
    const auto rows = server.rows("TEXTOS");
    ASSERT_EQ(rows.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(rows[i][1].isNull(), texts[i].isNull()) << i;
        EXPECT_EQ(rows[i][1].toString(), texts[i].toString()) << i;
        EXPECT_EQ(rows[i][2].isNull(), i % 2 == 0) << i;
        if (i % 2 != 0) {
            EXPECT_EQ(rows[i][2].toInt(), static_cast<int>(i)) << i;
        }
    }
}

// Two jobs on one server database: the second waits, says so once, gives up at its limit, and gets the
// database as soon as the first closes. The hold is the server's advisory lock of the first session.
TEST_F(OnServer, AJobHoldsTheDatabaseUntilItClosesAndAnotherWaitsForIt) {
    using namespace std::chrono_literals;
    server.createTable("PARCELAS", {{"mslink", "INTEGER"}});
    server.insertRows("PARCELAS", {{1}});
    auto& workspace = engines::DBEngine::instance().Workspaces(0);
    auto first = engines::OpenDatabaseForJob(workspace, server.path(), 0ms, {});
    int waits = 0;
    const EngineError e = engineErrorOf(
        [&] { engines::OpenDatabaseForJob(workspace, server.path(), 300ms, [&] { ++waits; }); });
    EXPECT_EQ(e.number(), errnum::kHeldByAnother);
    EXPECT_EQ(waits, 1);
    auto plain = openServer();  // a database opened but not held does not wait: only jobs hold
    EXPECT_NO_THROW(plain->ReadRows("PARCELAS", {"mslink"}));
    plain->Close();

    first->Close();
    auto second = engines::OpenDatabaseForJob(workspace, server.path(), 0ms, {});
    second->InsertRow("PARCELAS", {{"mslink", 9}});
    EXPECT_EQ(mslinks(*second, "PARCELAS").back(), 9);
    second->Close();
}

}  // namespace
}  // namespace vexilo::testing
