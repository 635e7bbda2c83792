// Inside a transaction of a database that defers its writes (the job's), both engines write rows on a
// thread of their own: what the caller sees must not change. An INSERT gives the identity its
// row gets, whatever the table's numbering; a later read sees every write; a refused row stops the job
// with the engine's message and drops what followed it; a rollback or a commit leaves the thread with
// nothing of the transaction.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <thread>

#include "engines/packedtexts.h"
#include "engines/writerthread.h"
#include "enginetest.h"

namespace vexilo::testing {
namespace {

using core::EngineError;

class QueuedWrites : public EngineTest {
  protected:
    std::unique_ptr<engines::Database> openDeferring() {
        auto db = open();
        db->DeferWrites();
        return db;
    }

    // Rows added in one transaction: the identities the calls gave against those the table holds.
    void expectIdentitiesAsStored(const QString& table, const std::vector<engines::FieldValues>& rows) {
        auto db = openDeferring();
        db->BeginTrans();
        std::vector<engines::RowId> given;
        for (const auto& row : rows) {
            given.push_back(db->InsertRow(table, row));
        }
        db->CommitTrans();
        // Each row by its mslink, which the rows given never repeat.
        std::map<int, engines::RowId> stored;
        for (const auto& row : db->ReadRows(table, {"mslink"})) {
            stored[row.values[0].toInt()] = row.id;
        }
        for (std::size_t i = 0; i < given.size(); ++i) {
            const int mslink = rows[i].back().second.toInt();
            EXPECT_EQ(given[i], stored[mslink]) << qPrintable(table) << " mslink " << mslink;
        }
    }
};

TEST_F(QueuedWrites, AnInsertGivesTheIdentityItsRowGetsWhateverTheNumbering) {
    file.createTable("VACIA", {{"mslink", "INTEGER"}, {"tmapa", "TEXT"}});
    expectIdentitiesAsStored("VACIA", {{{"mslink", 1}}, {{"mslink", 2}}, {{"mslink", 3}}});

    // Rows removed at the end: the next identity is one past those that remain.
    file.createTable("PODADA", {{"mslink", "INTEGER"}});
    file.insertRows("PODADA", {{1}, {2}, {3}, {4}});
    file.exec("DELETE FROM PODADA WHERE mslink >= 3");
    expectIdentitiesAsStored("PODADA", {{{"mslink", 5}}, {{"mslink", 6}}});

    // A column that stands for the identity, given in the row or not, and AUTOINCREMENT, whose numbers
    // never come back.
    file.exec("CREATE TABLE PROPIA (id INTEGER PRIMARY KEY, mslink INTEGER)");
    file.exec("INSERT INTO PROPIA VALUES (40, 1)");
    expectIdentitiesAsStored("PROPIA",
                             {{{"id", 100}, {"mslink", 2}}, {{"mslink", 3}}, {{"id", 7}, {"mslink", 4}}});
    file.exec("CREATE TABLE CRECIENTE (id INTEGER PRIMARY KEY AUTOINCREMENT, mslink INTEGER)");
    file.exec("INSERT INTO CRECIENTE (mslink) VALUES (1), (2), (3)");
    file.exec("DELETE FROM CRECIENTE WHERE id = 3");
    expectIdentitiesAsStored("CRECIENTE", {{{"mslink", 4}}, {{"mslink", 5}}});

    // An update that moves a row's identity goes after the rows gathered before it, or they would be
    // numbered after the row it moved. (The statements are made first: making one sends what is held.)
    file.exec("CREATE TABLE MOVIDA (id INTEGER PRIMARY KEY, mslink INTEGER)");
    file.exec("INSERT INTO MOVIDA VALUES (1, 1), (2, 2), (3, 3)");
    auto db = openDeferring();
    db->BeginTrans();
    db->UpdateRow("MOVIDA", 2, {{"id", 200}});
    const engines::RowId added = db->InsertRow("MOVIDA", {{"mslink", 4}});
    db->UpdateRow("MOVIDA", 1, {{"id", 300}});
    db->CommitTrans();
    std::map<int, engines::RowId> stored;  // by mslink
    for (const auto& row : db->ReadRows("MOVIDA", {"mslink"})) {
        stored[row.values[0].toInt()] = row.id;
    }
    EXPECT_EQ(added, 201);
    EXPECT_EQ(stored[4], added);
    EXPECT_EQ(stored[1], 300);
    EXPECT_EQ(stored[2], 200);
}

TEST_P(QueuedWrites, ReadsSeeEveryWriteAndARollbackLeavesNothing) {
    createAttributeTable("PARCELAS");
    auto db = openDeferring();
    db->BeginTrans();
    engines::RowId last = 0;
    for (int i = 1; i <= 3 * static_cast<int>(engines::WriterThread::kBound); ++i) {
        last = db->InsertRow("PARCELAS", {{"mslink", i}, {"tmapa", QStringLiteral("calle %1").arg(i)}});
    }
    db->UpdateRow("PARCELAS", last, {{"tfeature", 9}});
    const auto rows = db->ReadRows("PARCELAS", {"mslink", "tfeature"});
    ASSERT_EQ(rows.size(), 3 * engines::WriterThread::kBound);
    EXPECT_EQ(rows.back().id, last);
    EXPECT_EQ(rows.back().values[1].toInt(), 9);
    db->InsertRow("PARCELAS", {{"mslink", 0}});
    db->Rollback();
    EXPECT_TRUE(db->ReadRows("PARCELAS", {"mslink"}).empty());

    // After the rollback the numbering starts again from what the table holds.
    db->BeginTrans();
    const engines::RowId first = db->InsertRow("PARCELAS", {{"mslink", 1}});
    db->CommitTrans();
    const auto kept = db->ReadRows("PARCELAS", {"mslink"});
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].id, first);
}

TEST_P(QueuedWrites, ARefusedRowEndsTheTransactionAndNothingOfItCanBeCommitted) {
    file.createTable("PARCELAS", {{"mslink", "INTEGER"}, {"clasific", "SMALLINT CHECK (clasific < 100)"}});
    auto db = openDeferring();
    db->BeginTrans();
    db->InsertRow("PARCELAS", {{"mslink", 1}});
    db->InsertRow("PARCELAS", {{"mslink", 2}, {"clasific", 700}});  // refused by the table's check
    QStringList messages;
    for (int i = 3; i < 10; ++i) {
        try {
            db->InsertRow("PARCELAS", {{"mslink", i}});
        } catch (const EngineError& e) {
            messages << e.description();
        }
    }
    try {
        db->CommitTrans();
        ADD_FAILURE() << "a transaction that lost a row was committed";
    } catch (const EngineError& e) {
        messages << e.description();
    }
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.front().contains("clasific") && messages.front().contains("PARCELAS"))
        << qPrintable(messages.front());
    db->Rollback();
    EXPECT_TRUE(db->ReadRows("PARCELAS", {"mslink"}).empty());
    // The rollback makes the connection whole again.
    db->BeginTrans();
    db->InsertRow("PARCELAS", {{"mslink", 1}});
    db->CommitTrans();
    EXPECT_EQ(db->ReadRows("PARCELAS", {"mslink"}).size(), 1u);
}

// Rows of one table keep the order they were given in, whichever statement writes them: an insert of
// other columns and an update of a row just added come between the rows another insert gathers. A row
// refused among gathered ones is met as any refused row, and nothing of the transaction is kept.
TEST_P(QueuedWrites, RowsOfOneTableKeepTheirOrderWhicheverStatementWritesThem) {
    createAttributeTable("PARCELAS");
    auto db = openDeferring();
    db->BeginTrans();
    std::map<int, engines::RowId> given;  // by mslink
    for (int i = 1; i <= 100; ++i) {
        given[i] = db->InsertRow("PARCELAS", {{"mslink", i}, {"tmapa", QStringLiteral("calle %1").arg(i)}});
        if (i % 3 == 0) {
            given[1000 + i] = db->InsertRow("PARCELAS", {{"mslink", 1000 + i}});
        }
        if (i % 7 == 0) {
            db->UpdateRow("PARCELAS", given[i], {{"tfeature", i}});
        }
    }
    db->CommitTrans();
    const auto rows = db->ReadRows("PARCELAS", {"mslink", "tmapa", "tfeature"});
    ASSERT_EQ(rows.size(), given.size());
    for (const auto& row : rows) {
        const int mslink = row.values[0].toInt();
        EXPECT_EQ(row.id, given[mslink]) << mslink;
        if (mslink < 1000) {
            EXPECT_EQ(row.values[1].toString(), QStringLiteral("calle %1").arg(mslink));
            EXPECT_EQ(row.values[2].toInt(), mslink % 7 == 0 ? mslink : 0) << mslink;
        } else {
            EXPECT_TRUE(row.values[1].isNull()) << mslink;
        }
    }

    // Updates of rows numbered before the gathered ones may go ahead of them.
    file.createTable("PREVIA", {{"mslink", "INTEGER"}, {"tfeature", "INTEGER"}});
    file.insertRows("PREVIA", {{1, 0}, {2, 0}, {3, 0}});
    auto mixed = openDeferring();
    const auto old = mixed->ReadRows("PREVIA", {"mslink"});
    ASSERT_EQ(old.size(), 3u);
    mixed->BeginTrans();
    std::vector<engines::RowId> added;
    for (int i = 1; i <= 40; ++i) {
        added.push_back(mixed->InsertRow("PREVIA", {{"mslink", 100 + i}}));
        mixed->UpdateRow("PREVIA", old[static_cast<std::size_t>(i % 3)].id, {{"tfeature", i}});
    }
    mixed->CommitTrans();
    const auto previa = mixed->ReadRows("PREVIA", {"mslink", "tfeature"});
    ASSERT_EQ(previa.size(), 43u);
    EXPECT_EQ(previa[0].values[1].toInt(), 39);  // the last of the updates of each old row
    EXPECT_EQ(previa[1].values[1].toInt(), 40);
    EXPECT_EQ(previa[2].values[1].toInt(), 38);
    for (std::size_t k = 0; k < added.size(); ++k) {
        EXPECT_EQ(previa[3 + k].id, added[k]);
        EXPECT_EQ(previa[3 + k].values[0].toInt(), 101 + static_cast<int>(k));
    }

    file.createTable("LIMITADA", {{"mslink", "INTEGER"}, {"clasific", "SMALLINT CHECK (clasific < 100)"}});
    auto again = openDeferring();
    again->BeginTrans();
    const core::EngineError refused = engineErrorOf([&] {
        for (int i = 1; i <= 40; ++i) {
            again->InsertRow("LIMITADA", {{"mslink", i}, {"clasific", i == 20 ? 700 : 1}});
        }
        again->CommitTrans();
    });
    EXPECT_TRUE(refused.description().contains("clasific") && refused.description().contains("LIMITADA"))
        << qPrintable(refused.description());
    again->Rollback();
    EXPECT_TRUE(again->ReadRows("LIMITADA", {"mslink"}).empty());
}

// Rows appended (the run log's, whose identities nobody reads: a server numbers them itself) and rows
// inserted with the identity they get, mixed in one table in every order and beyond a batch: the stored
// order is the order of the calls, and each inserted row is where its identity says.
TEST_P(QueuedWrites, AppendedRowsKeepTheirPlaceAmongRowsInsertedInTheSameTable) {
    createAttributeTable("PARCELAS");
    auto db = openDeferring();
    db->BeginTrans();
    auto appended = db->PrepareAppend("PARCELAS", {"mslink", "tmapa"});
    std::vector<int> order;  // mslinks in the order given
    std::map<int, engines::RowId> inserted;
    int next = 1;
    const auto insert = [&] {
        inserted[next] = db->InsertRow("PARCELAS", {{"mslink", next}});
        order.push_back(next++);
    };
    const auto append = [&](int rows) {
        for (int i = 0; i < rows; ++i) {
            const engines::RowId given = appended->Insert({next, QStringLiteral("añadida %1").arg(next)});
            if (currentEngine() == Engine::Postgres) {
                ASSERT_EQ(given, 0) << "the server numbers an appended row itself";
            }
            order.push_back(next++);
        }
    };
    insert();  // takes numbers ahead, which the appends that follow must not pass
    append(3);
    insert();
    append(12000);  // more than one batch
    insert();
    db->UpdateRow("PARCELAS", inserted[1], {{"tfeature", 7}});
    append(1);
    db->CommitTrans();
    const auto rows = db->ReadRows("PARCELAS", {"mslink", "tmapa", "tfeature"});
    ASSERT_EQ(rows.size(), order.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int mslink = rows[i].values[0].toInt();
        ASSERT_EQ(mslink, order[i]) << "stored order, row " << i;
        if (const auto it = inserted.find(mslink); it != inserted.end()) {
            EXPECT_EQ(rows[i].id, it->second) << mslink;
        } else {
            EXPECT_EQ(rows[i].values[1].toString(), QStringLiteral("añadida %1").arg(mslink));
        }
    }
    EXPECT_EQ(rows[0].values[2].toInt(), 7);
}

// A prepared insert (the run log's) hands its values over as the caller gave them: they are checked and
// converted when the row is written, by the writer thread, and stored as an insert made at once stores
// them; a value refused there ends the transaction as any refused row does.
TEST_P(QueuedWrites, APreparedInsertsValuesAreCheckedAndConvertedWhenTheRowIsWritten) {
    file.createTable("REGISTRO", {{"mslink", "INTEGER"}, {"tmapa", "VARCHAR(10)"}, {"Fecha", "DATETIME"}});
    const QDate day(2026, 12, 9);
    auto db = openDeferring();
    db->BeginTrans();
    auto rows = db->PrepareInsert("REGISTRO", {"mslink", "tmapa", "Fecha"});
    for (int i = 1; i <= 2 * static_cast<int>(engines::WriterThread::kWakeAt); ++i) {
        rows->Insert({i, QStringLiteral("calle %1").arg(i % 100), day});
    }
    rows->Insert({0, QString(), QVariant()});
    db->CommitTrans();
    const auto stored = db->ReadRows("REGISTRO", {"mslink", "tmapa", "Fecha"});
    ASSERT_EQ(stored.size(), 2 * engines::WriterThread::kWakeAt + 1);
    EXPECT_EQ(stored[6].values[1].toString(), QStringLiteral("calle 7"));
    EXPECT_EQ(stored[6].values[2].toDateTime(), QDateTime(day, QTime(0, 0)));
    EXPECT_EQ(stored.back().values[1].toString(), QString(""));  // an empty text, not Null
    EXPECT_FALSE(stored.back().values[1].isNull());

    db->BeginTrans();
    rows->Insert({1, QStringLiteral("corta"), day});
    rows->Insert({2, QStringLiteral("demasiado larga"), day});
    const core::EngineError refused = engineErrorOf([&] {
        for (int i = 3; i < 10000; ++i) {
            rows->Insert({i, QStringLiteral("corta"), day});
        }
        db->CommitTrans();
    });
    EXPECT_TRUE(refused.description().contains("tmapa") && refused.description().contains("10"))
        << qPrintable(refused.description());
    db->Rollback();
    EXPECT_EQ(db->ReadRows("REGISTRO", {"mslink"}).size(), stored.size());
}

// The run log gives its rows as plain values: each stored as the same values given as QVariants are,
// through the writer thread in groups (rows of both forms mixed, in runs of every length) and at once,
// and refused alike, with the same message.
TEST_P(QueuedWrites, PlainRowsAreStoredAndRefusedAsTheSameValuesInQVariants) {
    using engines::PlainValue;
    file.createTable(
        "REGISTRO",
        {{"mslink", "INTEGER"}, {"tmapa", "VARCHAR(10)"}, {"Fecha", "DATETIME"}, {"Hora", "DATETIME"}});
    struct Given {
        std::int64_t n;
        QString text;
        QDate day;
        QTime time;
    };
    std::vector<Given> samples = {
        {1, QStringLiteral("calle"), QDate(2026, 12, 9), QTime(12, 34, 56)},
        {-2147483648LL, QString(), QDate(1899, 12, 30), QTime(0, 0)},
        {2147483647LL, QStringLiteral(""), QDate(9999, 12, 31), QTime(23, 59, 59)},
        {0, QStringLiteral("ñandú"), QDate(1, 1, 1), QTime(0, 0, 1)},
        {4, QString(QChar(0xD83D)) + QStringLiteral("x"), QDate(2000, 1, 2), QTime(4, 5, 6)},  // malformed
        {5, QStringLiteral("ñandúñandú"), QDate(2000, 1, 3), QTime(7, 8, 9)},  // 10 characters, 15 bytes
        {7, QStringLiteral("ab") + QString::fromUtf16(u"\U0001F600") + QStringLiteral("cdefghi"),
         QDate(2024, 2, 29), QTime(6, 0)},
    };
    if (currentEngine() == Engine::Sqlite) {  // a server's texts never hold a NUL
        samples.insert(samples.begin() + 3, {3, QStringLiteral("a") + QChar(0) + QStringLiteral("b"),
                                             QDate(2000, 1, 1), QTime(1, 2, 3)});
    }
    auto plain = [](const Given& g) {
        return engines::PlainRow{PlainValue::whole(g.n), PlainValue::text(g.text), PlainValue::day(g.day),
                                 PlainValue::timeOfDay(g.time)};
    };
    auto variants = [](const Given& g) {
        return std::vector<QVariant>{QVariant(static_cast<int>(g.n)), g.text, g.day, g.time};
    };
    const std::vector<QString> columns = {"mslink", "tmapa", "Fecha", "Hora"};

    // Each sample twice in a row, once in each form; the forms change every 1 to 40 rows.
    auto db = openDeferring();
    auto rows = db->PrepareInsert("REGISTRO", columns);
    db->BeginTrans();
    std::vector<engines::RowId> given;
    bool plainFirst = true;
    for (std::size_t k = 0, run = 0; k < 2000; ++k) {
        if (++run > k % 41) {
            plainFirst = !plainFirst;
            run = 0;
        }
        const Given& g = samples[k % samples.size()];
        given.push_back(plainFirst ? rows->InsertPlain(plain(g)) : rows->Insert(variants(g)));
        given.push_back(plainFirst ? rows->Insert(variants(g)) : rows->InsertPlain(plain(g)));
    }
    db->CommitTrans();
    // And at once, outside a transaction.
    given.push_back(rows->InsertPlain(plain(samples.back())));
    given.push_back(rows->Insert(variants(samples.back())));

    const auto stored = file.rows("REGISTRO");
    ASSERT_EQ(stored.size(), given.size());
    for (std::size_t k = 0; k < stored.size(); k += 2) {
        SCOPED_TRACE(k);
        EXPECT_EQ(stored[k], stored[k + 1]);
    }
    const auto read = db->ReadRows("REGISTRO", columns);
    for (std::size_t k = 0; k < read.size(); ++k) {
        EXPECT_EQ(read[k].id, given[k]) << k;
    }
    const std::size_t last = read.size() - 1;
    for (std::size_t k = 0; k < 2 * samples.size(); ++k) {
        if (const Given& g = samples[k / 2]; g.n != 4) {  // a malformed text is stored as converted
            EXPECT_EQ(read[k].values[1].toString(), g.text) << k;
        }
    }
    EXPECT_EQ(read[last].values[0].toLongLong(), 7);
    EXPECT_EQ(read[last].values[2].toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(0, 0)));
    EXPECT_EQ(read[last].values[3].toDateTime(), QDateTime(QDate(1899, 12, 30), QTime(6, 0)));
    EXPECT_FALSE(read[1].values[1].isNull());  // a null text given is stored as the empty text

    // Refused alike: a text longer than its field, at once and held; a number wider than its field
    // (refused by the server, stored by SQLite's INTEGER alike in both forms).
    auto outcome = [&](const std::function<engines::RowId()>& insert, bool held) {
        try {
            if (held) {
                db->BeginTrans();
            }
            insert();
            if (held) {
                db->CommitTrans();
            }
            return QStringLiteral("guardada");
        } catch (const core::EngineError& e) {
            if (held) {
                db->Rollback();
            }
            return e.description();
        }
    };
    const Given tooLong{1, QStringLiteral("ñandúñandúñ"), QDate(2026, 1, 1), QTime(1, 0)};
    const Given tooWide{4294967296LL, QStringLiteral("ancho"), QDate(2026, 1, 1), QTime(1, 0)};
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held);
        const QString refused = outcome([&] { return rows->InsertPlain(plain(tooLong)); }, held);
        EXPECT_TRUE(refused.contains("tmapa") && refused.contains("10")) << qPrintable(refused);
        EXPECT_EQ(refused, outcome([&] { return rows->Insert(variants(tooLong)); }, held));
        auto wide = variants(tooWide);
        wide[0] = QVariant(static_cast<qlonglong>(tooWide.n));
        EXPECT_EQ(outcome([&] { return rows->InsertPlain(plain(tooWide)); }, held),
                  outcome([&] { return rows->Insert(wide); }, held));
    }
}

// The record writer's prepared writes (a new record, a claim, a renumbering) store what InsertRow and
// UpdateRow store, in order with the rows gathered before them (an update of a record just added waits
// for it), and refuse a value at the call, with InsertRow's and UpdateRow's message.
TEST_P(QueuedWrites, PreparedRecordWritesStoreAndRefuseAsInsertRowAndUpdateRow) {
    using engines::PlainValue;
    createAttributeTable("PARCELAS");
    auto db = openDeferring();
    auto add =
        db->PrepareInsert("PARCELAS", {"mslink", "tmapa", "Tfeature"}, engines::Database::Checks::AtTheCall);
    auto claim = db->PrepareUpdate("parcelas", {"TFEATURE"});
    auto renumber = db->PrepareUpdate("PARCELAS", {"MsLink"});
    db->BeginTrans();
    // By i - 1: the record of the prepared write, and its twin written by InsertRow.
    std::vector<std::pair<engines::RowId, engines::RowId>> twins;
    for (int i = 1; i <= 300; ++i) {
        const QString text = QStringLiteral("calle %1").arg(i);
        const QString code = i % 2 == 0 ? QStringLiteral("0301") : QStringLiteral("-7");
        // Each record updated right after it was added, while its row is still gathered. Every other
        // record's texts are lent, and gone at the end of the round.
        auto given = [i](const QString& t) {
            return i % 2 == 0 ? PlainValue::text(t) : PlainValue::borrowedText(t);
        };
        const engines::RowId a = add->InsertPlain({PlainValue::whole(i), given(text), PlainValue::whole(i)});
        if (i % 3 == 0) {
            claim->UpdatePlain(a, {given(code)});
        }
        if (i % 5 == 0) {
            renumber->UpdatePlain(a, {PlainValue::whole(5000 + i)});
        }
        const engines::RowId b =
            db->InsertRow("PARCELAS", {{"mslink", 1000 + i}, {"tmapa", text}, {"Tfeature", i}});
        if (i % 3 == 0) {
            db->UpdateRow("PARCELAS", b, {{"Tfeature", code}});
        }
        if (i % 5 == 0) {
            db->UpdateRow("PARCELAS", b, {{"mslink", 6000 + i}});
        }
        twins.emplace_back(a, b);
    }
    db->CommitTrans();
    std::map<engines::RowId, engines::Database::Row> byId;
    for (auto& row : db->ReadRows("PARCELAS", {"mslink", "tmapa", "Tfeature"})) {
        byId[row.id] = row;
    }
    ASSERT_EQ(byId.size(), 600u);
    for (const auto& [a, b] : twins) {
        const auto& mine = byId[a].values;
        const auto& theirs = byId[b].values;
        SCOPED_TRACE(mine[1].toString().toStdString());
        EXPECT_EQ(mine[1], theirs[1]);
        EXPECT_EQ(mine[2], theirs[2]);
        EXPECT_EQ(mine[0].toInt() + 1000, theirs[0].toInt());
    }
    const auto& first = byId[twins[0].first].values;
    EXPECT_EQ(first[0].toInt(), 1);
    EXPECT_EQ(first[2].toInt(), 1);
    const auto& thirtieth = byId[twins[29].first].values;  // claimed as "0301", then renumbered
    EXPECT_EQ(thirtieth[0].toInt(), 5030);
    EXPECT_EQ(thirtieth[2].toInt(), 301);

    // Refused at the call, before anything is held, as InsertRow and UpdateRow refuse.
    auto outcome = [](const std::function<void()>& work) {
        try {
            work();
            return QStringLiteral("guardada");
        } catch (const core::EngineError& e) {
            return e.description();
        }
    };
    const QString tooLong(101, QLatin1Char('x'));
    db->BeginTrans();
    const QString refused = outcome([&] {
        add->InsertPlain({PlainValue::whole(1), PlainValue::text(tooLong), PlainValue::whole(1)});
    });
    EXPECT_TRUE(refused.contains("tmapa")) << qPrintable(refused);
    EXPECT_EQ(refused, outcome([&] {
                  db->InsertRow("PARCELAS", {{"mslink", 1}, {"tmapa", tooLong}, {"Tfeature", 1}});
              }));
    EXPECT_EQ(outcome([&] { claim->UpdatePlain(twins[0].first, {PlainValue::text(QStringLiteral("abc"))}); }),
              outcome([&] {
                  db->UpdateRow("PARCELAS", twins[0].first, {{"Tfeature", "abc"}});
              }));
    db->Rollback();
}

INSTANTIATE_TEST_SUITE_P(Engines, QueuedWrites, bothEngines(), engineName);
// The run log gives the same text (its file's name) to row after row: each row stores the text as it
// was when that row was given, whether the caller then gives it again, changes it in place, shortens
// it, or puts between its rows a text holding a NUL or a malformed one (which SQLite converts itself).
TEST_F(QueuedWrites, ATextGivenRowAfterRowIsStoredAsEachRowHadIt) {
    file.createTable("REGISTRO", {{"mslink", "INTEGER"}, {"tmapa", "VARCHAR(40)"}});
    auto db = openDeferring();
    db->BeginTrans();
    auto rows = db->PrepareInsert("REGISTRO", {"mslink", "tmapa"});
    QString text = QStringLiteral("calle mayor");
    std::vector<QString> given;
    for (int i = 1; i <= 3000; ++i) {
        if (i % 7 == 0) {
            text[0] = QChar(u'a' + i % 26);
        }
        if (i % 11 == 0) {
            text.chop(1);
            text += QChar(u'0' + i % 10);
        }
        if (i % 97 == 0) {
            text = QStringLiteral("ñandú ") + QString::number(i);
        }
        const QString once = i % 53 == 0   ? QStringLiteral("a") + QChar(0) + QStringLiteral("b")
                             : i % 59 == 0 ? QString(QChar(0xD83D)) + QStringLiteral("x")
                                           : text;
        rows->Insert({i, once});
        given.push_back(once);
    }
    db->CommitTrans();
    const auto stored = db->ReadRows("REGISTRO", {"mslink", "tmapa"});
    ASSERT_EQ(stored.size(), given.size());
    for (std::size_t i = 0; i < given.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(stored[i].values[0].toInt(), static_cast<int>(i) + 1);
        if ((i + 1) % 59 != 0 || (i + 1) % 53 == 0) {
            EXPECT_EQ(stored[i].values[1].toString(), given[i]);
        }
    }
}

// A statement that only reads its row's texts, char by char, where the race checker sees it.
class ReadingStatement : public engines::QueuedStatement {
  public:
    void runQueued(std::span<QVariant> stored, const engines::StoredForm*, engines::RowId) override {
        for (const QVariant& v : stored) {
            for (const QChar c : *static_cast<const QString*>(v.constData())) {
                sum += c.unicode();
            }
        }
        rows.fetch_add(1, std::memory_order_relaxed);  // tells nothing about the texts: no ordering
    }
    void runQueuedPlain(std::span<engines::PlainValue> values, const engines::StoredForm*,
                        engines::RowId) override {
        for (const engines::PlainValue& v : values) {
            for (const QChar c : v.textValue()) {
                sum += c.unicode();
            }
        }
        rows.fetch_add(1, std::memory_order_relaxed);
    }
    std::atomic<std::size_t> rows{0};
    std::size_t sum = 0;  // the thread's own until a drain
};

// The caller may drop the last hold on a text it shared with a row as soon as the thread has written
// that row, with nothing between them; under ThreadSanitizer the thread's reading and the caller's
// freeing must be seen in that order.
TEST(WriterThreadTest, ACallerFreesTheTextsItSharedWithRowsTheThreadHasWritten) {
    ReadingStatement statement;
    std::size_t expected = 0;
    {
        std::vector<QString> texts;
        engines::WriterThread writer;
        for (std::size_t i = 0; i < engines::WriterThread::kWakeAt; ++i) {
            texts.push_back(QStringLiteral("texto %1").arg(i));
            for (const QChar c : texts.back()) {
                expected += c.unicode();
            }
            // Rows of both forms; the last one wakes the thread.
            if (i % 2 == 0) {
                writer.push(statement, {QVariant(texts.back())}, nullptr, 0);
            } else {
                writer.push(statement, engines::PlainRow{engines::PlainValue::text(texts.back())}, nullptr,
                            0);
            }
        }
        while (statement.rows.load(std::memory_order_relaxed) < engines::WriterThread::kWakeAt) {
            std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the thread lets its rows go
        texts.clear();
        writer.drain();
    }
    EXPECT_EQ(statement.sum, expected);
}

// Texts packed row after row read back whole, each as it was given: short and long (past a block's end,
// longer than a block), ASCII, Latin-1, beyond Latin-1, holding a NUL, and holding surrogates (kept as
// UTF-16, at an even address whatever UTF-8 came before); values that are no texts stay as they are.
TEST(PackedTexts, EveryTextReadsBackWholeAcrossBlocks) {
    std::vector<QString> texts;
    for (int i = 0; i < 3000; ++i) {
        QString t = QStringLiteral("calle %1 ñ").arg(i).repeated(1 + i % 5);
        if (i % 7 == 0) {
            t += QChar(0x4E2D);
        }
        if (i % 11 == 0) {
            t = QStringLiteral("ab") + QString::fromUtf16(u"\U0001F600") + QString(i % 3, QChar(u'x'));
        }
        if (i % 13 == 0) {
            t += QChar(0) + QStringLiteral("tras");
        }
        if (i % 500 == 0) {
            t = QString(40000 + i, QChar(u'a' + i % 26));  // more than a block in UTF-8
        }
        texts.push_back(i % 250 == 1 ? QString() : t);
    }
    engines::TextBlocks blocks;
    std::vector<engines::PlainRow> rows;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        engines::PlainRow row{engines::PlainValue::text(texts[i]), engines::PlainValue::whole(int(i))};
        engines::packTexts(row, blocks);
        rows.push_back(std::move(row));
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        const engines::PlainValue& v = rows[i][0];
        ASSERT_NE(v.kind(), engines::PlainValue::Kind::Text);
        EXPECT_EQ(v.toVariant().toString(), texts[i]);
        if (v.kind() == engines::PlainValue::Kind::PackedUtf16) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(v.utf16().utf16()) % alignof(char16_t), 0u);
        } else {
            EXPECT_EQ(v.utf8().data()[v.utf8().size()], '\0');  // bound as SQLite reads a C string
            EXPECT_EQ(v.holdsNul(), texts[i].contains(QChar(0)));
        }
        EXPECT_EQ(rows[i][1].number(), static_cast<std::int64_t>(i));
    }
}

// A text given again at the same place of row after row is packed once while its blocks are the
// caller's; changed in place, or given again once those blocks went to the thread and came back to be
// packed into anew, it is packed again, never read where an earlier text lay.
TEST(PackedTexts, ATextGivenAgainIsPackedOnceWhileItsBlocksAreTheCallers) {
    QString name = QString::fromLatin1("PARCELAS");  // its own characters, as a table name read is
    engines::TextBlocks pending;
    const auto packedRow = [&](const QString& first, const QString& second) {
        engines::PlainRow row{engines::PlainValue::text(first), engines::PlainValue::text(second)};
        engines::packTexts(row, pending);
        return row;
    };
    const engines::PlainRow a = packedRow(name, QStringLiteral("uno"));
    const engines::PlainRow b = packedRow(name, QStringLiteral("dos"));
    EXPECT_EQ(a[0].utf8().data(), b[0].utf8().data());  // packed once
    name[0] = QChar(u'B');                              // changed in place: the caller's own copy
    const engines::PlainRow c = packedRow(name, QStringLiteral("tres"));
    EXPECT_EQ(c[0].toVariant().toString(), QStringLiteral("BARCELAS"));
    EXPECT_EQ(a[0].toVariant().toString(), QStringLiteral("PARCELAS"));

    // The blocks go to the thread, come back and are packed into again: the text is packed anew.
    engines::TextBlocks handed;
    handed.take(pending);
    engines::SpareBlocks spare;
    handed.giveBack(spare);
    ASSERT_FALSE(spare.empty());
    pending.reuse(spare);
    // Another text first, over every text the reused block held; then the text noted before.
    engines::PlainRow d{engines::PlainValue::whole(4), engines::PlainValue::text(QString(100, QChar(u'z')))};
    engines::packTexts(d, pending);
    const engines::PlainRow e = packedRow(name, QStringLiteral("cinco"));
    EXPECT_EQ(d[1].toVariant().toString(), QString(100, QChar(u'z')));
    EXPECT_EQ(e[0].toVariant().toString(), QStringLiteral("BARCELAS"));
}

// An element's own text is new in every row: after a few of them its place holds none, so the caller's
// text is its own again at once (its buffer reused for the next element), while the table's name,
// given again row after row at the other place, is still packed once.
TEST(PackedTexts, APlaceWhoseTextsAreNeverGivenAgainStopsHoldingThem) {
    const QString name = QString::fromLatin1("PARCELAS");
    engines::TextBlocks pending;
    std::vector<engines::PlainRow> rows;
    std::vector<QString> texts;
    std::vector<bool> held;  // whether something besides the caller held the text once it was packed
    for (int i = 0; i < 8; ++i) {
        texts.push_back(QStringLiteral("texto %1").arg(i));
        rows.push_back({engines::PlainValue::text(name), engines::PlainValue::text(texts.back())});
        engines::packTexts(rows.back(), pending);
        held.push_back(!texts.back().isDetached());
    }
    EXPECT_TRUE(held.front());
    EXPECT_FALSE(held.back());
    EXPECT_EQ(rows.back()[0].utf8().data(), rows.front()[0].utf8().data());  // the name packed once
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][1].toVariant().toString(), texts[i]);
    }
}

// A statement that reads its rows' packed texts, byte by byte, where the race checker sees it.
class PackedReadingStatement : public engines::QueuedStatement {
  public:
    void runQueued(std::span<QVariant>, const engines::StoredForm*, engines::RowId) override {}
    void runQueuedPlain(std::span<engines::PlainValue> values, const engines::StoredForm*,
                        engines::RowId) override {
        for (const engines::PlainValue& v : values) {
            for (const char c : v.utf8()) {
                sum += static_cast<unsigned char>(c);
            }
        }
    }
    bool takesPackedTexts() const override { return true; }
    std::size_t sum = 0;  // the thread's own until a drain
};

// The blocks a caller packs rows' texts into go to the thread with the rows, hand-over after hand-over,
// and come back to be packed into again: under ThreadSanitizer the caller's writing of each block, the
// thread's reading of it and the caller's writing of it anew must be seen in that order, and the texts
// must arrive as they were given.
TEST(WriterThreadTest, TextsPackedByTheCallerReachTheThreadWhole) {
    PackedReadingStatement statement;
    std::size_t expected = 0;
    {
        engines::WriterThread writer;
        QString name;  // given row after row, as the run log gives its file's name
        for (std::size_t i = 0; i < 5 * engines::WriterThread::kBound; ++i) {
            if (i % 300 == 0) {
                name = QStringLiteral("dibujo %1.bin").arg(i);
            }
            const QByteArray text = QStringLiteral("texto %1").arg(i).repeated(1 + i % 40).toUtf8();
            for (const char c : text + name.toUtf8()) {
                expected += static_cast<unsigned char>(c);
            }
            writer.push(statement,
                        engines::PlainRow{engines::PlainValue::text(QString::fromUtf8(text)),
                                          engines::PlainValue::text(name)},
                        nullptr, 0);
        }
        writer.drain();
    }
    EXPECT_EQ(statement.sum, expected);
}

// A borrowed text is the caller's to change once the push returns: the caller writes its next text into
// the same string, as the pass does with its own, and every row still reaches the thread as it was
// given, packed or as a copy of its own.
TEST(WriterThreadTest, BorrowedTextsReachTheThreadAsTheyWereGiven) {
    ReadingStatement reading;
    PackedReadingStatement packing;
    std::size_t expected = 0;
    {
        engines::WriterThread writer;
        QString text;  // the caller's, written anew for every row (ASCII: a unit reads as its byte)
        for (std::size_t i = 0; i < 3 * engines::WriterThread::kBound; ++i) {
            text = QStringLiteral("texto %1").arg(i);
            for (const QChar c : text) {
                expected += c.unicode();
            }
            engines::QueuedStatement& statement =
                i % 2 == 0 ? static_cast<engines::QueuedStatement&>(reading) : packing;
            writer.push(statement, engines::PlainRow{engines::PlainValue::borrowedText(text)}, nullptr, 0);
        }
        text = QStringLiteral("otro");
        writer.drain();
    }
    EXPECT_EQ(reading.sum + packing.sum, expected);
}

}  // namespace
}  // namespace vexilo::testing
