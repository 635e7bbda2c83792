// The attribute index: which record a text and a code find when one code is stored in several forms,
// and the numbering answer as records are renumbered and added, which must always be what a scan of the
// table would give, the highest number below 60000 that some record still carries.

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <vector>

#include "catalog/attributeindex.h"
#include "engines/engines.h"
#include "support/dbfixture.h"

namespace vexilo::catalog {
namespace {

// Records numbered `mslinks` in natural order, each with a text and no code.
std::vector<engines::Database::Row> recordsNumbered(const std::vector<qint64>& mslinks) {
    std::vector<engines::Database::Row> rows;
    for (qint64 n : mslinks) {
        rows.push_back({static_cast<engines::RowId>(rows.size() + 1),
                        {QVariant(n), QVariant(QStringLiteral("CALLE %1").arg(n)), QVariant(), QVariant()}});
    }
    return rows;
}

// A Tfeature against an element's code: the same text, or the same whole number once the Tfeature is
// trimmed of spaces; nothing else.
TEST(SameCode, SameTextOrTheSameWholeNumberWithin32Bits) {
    struct Case {
        const char* stored;
        const char* code;
        bool same;
    };
    const Case cases[] = {
        {"301", "000301", true},       // a numeric column keeps the code without its zeros
        {"301 ", "0301", true},        // a text column may keep spaces around the number
        {"  301", "301", true},        //
        {"0301", "301", true},         // and a text column keeps the zeros the code lacks
        {"+301", "301", true},         // a sign reads as the number it gives
        {"-0", "0", true},             //
        {"-301", "301", false},        //
        {"3010", "301", false},        //
        {"301.0", "301", false},       // a fraction written as text is no whole number
        {"301\t", "301", false},       // only spaces are trimmed
        {"3 01", "301", false},        //
        {"4294967597", "301", false},  // 2^32 + 301: past 32 bits, never taken for 301
        {"2147483647", "02147483647", true},
        {"2147483648", "2147483648", true},    // past 32 bits, but the same text
        {"2147483648", "02147483648", false},  // past 32 bits and another text
        {"X12", "X12", true},                  // codes that are no numbers compare as texts
        {"x12", "X12", false},                 //
        {"", "", true},                        //
        {"", "0", false},                      //
    };
    for (const Case& c : cases) {
        const QString stored = QString::fromLatin1(c.stored);
        const QString code = QString::fromLatin1(c.code);
        EXPECT_EQ(sameCode(codeValue(stored), codeValue(code)), c.same) << c.stored << " / " << c.code;
        EXPECT_EQ(sameCode(codeValue(code), codeValue(stored)), c.same) << c.code << " / " << c.stored;
    }
}

// A record with text "RIO", number `mslink` and this Tfeature (Null: unclaimed).
engines::Database::Row rio(engines::RowId id, qint64 mslink, const QVariant& tfeature) {
    return {id, {QVariant(mslink), QVariant(QStringLiteral("RIO")), QVariant(), tfeature}};
}

std::optional<qint64> firstFound(const AttributeIndex& idx, const char* codigo) {
    const auto found = idx.first(QStringLiteral("RIO"), QString::fromLatin1(codigo));
    if (!found) {
        return std::nullopt;
    }
    return found->mslink;
}

TEST(AttributeIndexCodes, TheFirstRecordInNaturalOrderAmongEveryFormOfTheCode) {
    AttributeIndex idx;
    idx.load({rio(1, 10, QStringLiteral("X")), rio(2, 20, QStringLiteral("0301")), rio(3, 30, QVariant(301)),
              rio(4, 40, QStringLiteral("301 ")), rio(5, 50, QVariant()), rio(6, 60, QStringLiteral("302"))});
    EXPECT_EQ(firstFound(idx, "301"), 20);
    EXPECT_EQ(firstFound(idx, "000301"), 20);
    EXPECT_EQ(firstFound(idx, "0302"), 50);  // the unclaimed record comes before the code's own
    EXPECT_EQ(firstFound(idx, "X"), 10);
    const auto found = idx.first(QStringLiteral("RIO"), QStringLiteral("0301"));
    ASSERT_TRUE(found);
    EXPECT_FALSE(found->unclaimed);
    EXPECT_EQ(found->id, 2);
}

TEST(AttributeIndexCodes, ClaimsAndAdditionsAreFoundByEveryFormOfTheCode) {
    AttributeIndex idx;
    idx.load({rio(1, 10, QVariant()), rio(2, 20, QStringLiteral("0302"))});
    // The code "0302" claimed the first record and a numeric column read it back as 302: a form of the
    // code met after "0302", but earlier in the table, so it comes first.
    const auto unclaimed = idx.first(QStringLiteral("RIO"), QStringLiteral("0302"));
    ASSERT_TRUE(unclaimed && unclaimed->unclaimed);
    idx.claimed(QStringLiteral("RIO"), unclaimed->pos, QStringLiteral("302"));
    EXPECT_EQ(firstFound(idx, "0302"), 10);
    EXPECT_EQ(firstFound(idx, "00302"), 10);
    EXPECT_EQ(firstFound(idx, "301"), std::nullopt);  // nothing left unclaimed

    // A record added for "000301" holds 301; every form of 301 finds it.
    ASSERT_TRUE(idx.added(3, 30, QStringLiteral("RIO"), QStringLiteral("301")));
    EXPECT_EQ(firstFound(idx, "000301"), 30);
    EXPECT_EQ(firstFound(idx, "301"), 30);
    EXPECT_EQ(firstFound(idx, "3010"), std::nullopt);
}

// Claims one after another: each takes the next unclaimed record, and a record claimed for a code whose
// list already holds a later one comes first in that list from then on.
TEST(AttributeIndexCodes, EachClaimTakesTheNextUnclaimedAndLeadsItsCodeInOrder) {
    AttributeIndex idx;
    idx.load({rio(1, 10, QVariant()), rio(2, 20, QStringLiteral("X")), rio(3, 30, QVariant()),
              rio(4, 40, QVariant())});
    const auto claim = [&](const char* found, const char* as) {
        const auto f = idx.first(QStringLiteral("RIO"), QString::fromLatin1(found));
        ASSERT_TRUE(f && f->unclaimed) << found;
        idx.claimed(QStringLiteral("RIO"), f->pos, QString::fromLatin1(as));
    };
    EXPECT_EQ(firstFound(idx, "X"), 10);  // the unclaimed record comes before X's own
    claim("Y", "X");
    EXPECT_EQ(firstFound(idx, "X"), 10);
    EXPECT_EQ(firstFound(idx, "Y"), 30);
    claim("Y", "Y");
    EXPECT_EQ(firstFound(idx, "Y"), 30);
    EXPECT_EQ(firstFound(idx, "Z"), 40);
    claim("Z", "Z");
    EXPECT_EQ(firstFound(idx, "Q"), std::nullopt);  // nothing left unclaimed
    EXPECT_EQ(firstFound(idx, "X"), 10);
    EXPECT_EQ(firstFound(idx, "Z"), 40);
}

// Two texts whose unclaimed records alternate in the table: each text's claims take its own records, in
// order, and never one of the other text's.
TEST(AttributeIndexCodes, ClaimsOfInterleavedTextsTakeEachTextsOwnRecordsInOrder) {
    const auto row = [](engines::RowId id, const char* texto) {
        return engines::Database::Row{
            id, {QVariant(qint64(id * 10)), QVariant(QString::fromLatin1(texto)), QVariant(), QVariant()}};
    };
    AttributeIndex idx;
    idx.load({row(1, "RIO"), row(2, "MAR"), row(3, "MAR"), row(4, "RIO"), row(5, "MAR"), row(6, "RIO")});
    const auto claim = [&](const char* texto) -> std::optional<qint64> {
        const auto f = idx.first(QString::fromLatin1(texto), QStringLiteral("7"));
        if (!f) {
            return std::nullopt;
        }
        EXPECT_TRUE(f->unclaimed) << texto;
        idx.claimed(QString::fromLatin1(texto), f->pos, QStringLiteral("8"));
        return f->mslink;
    };
    EXPECT_EQ(claim("MAR"), 20);
    EXPECT_EQ(claim("RIO"), 10);
    EXPECT_EQ(claim("RIO"), 40);
    EXPECT_EQ(claim("MAR"), 30);
    EXPECT_EQ(claim("MAR"), 50);
    EXPECT_EQ(claim("MAR"), std::nullopt);
    EXPECT_EQ(claim("RIO"), 60);
    EXPECT_EQ(claim("RIO"), std::nullopt);
    const auto owned = idx.first(QStringLiteral("RIO"), QStringLiteral("8"));
    ASSERT_TRUE(owned);
    EXPECT_FALSE(owned->unclaimed);
    EXPECT_EQ(owned->mslink, 10);
}

// A record's text is keyed as textKey keys the element's text, whatever Latin-1 character it holds (ß
// upper-cases to two letters), and a text beyond Latin-1 as well: each record is found by the key of its
// own text, or by that of the first record whose text has the same key.
TEST(AttributeIndexLoading, EveryLatin1CharacterKeysAsTheElementsTextDoes) {
    std::vector<QString> texts;
    for (char16_t c = 1; c < 256; ++c) {
        texts.push_back(QStringLiteral("  x") + QChar(c) + QStringLiteral("y "));
    }
    texts.push_back(QStringLiteral(" calle ßa"));
    texts.push_back(QStringLiteral("CALLE SSA"));
    texts.push_back(QStringLiteral("Ωmega ñ"));
    std::vector<engines::Database::Row> rows;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        rows.push_back(
            {engines::RowId(i + 1), {QVariant(qint64(i + 1)), QVariant(texts[i]), QVariant(), QVariant()}});
    }
    AttributeIndex idx;
    idx.load(rows);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const QString key = textKey(texts[i]);
        std::size_t first = 0;
        while (textKey(texts[first]) != key) {
            ++first;
        }
        const auto found = idx.first(key, QStringLiteral("7"));
        ASSERT_TRUE(found) << i;
        EXPECT_EQ(found->mslink, static_cast<std::int32_t>(first + 1)) << i;
    }
    EXPECT_EQ(idx.first(textKey(QStringLiteral("calle ssa")), QStringLiteral("7"))->mslink, 256);
}

TEST(AttributeIndexNumbering, FollowsRenumberingsAndAdditions) {
    AttributeIndex idx;
    idx.load(recordsNumbered({5, 9, 70000, 9}));
    EXPECT_EQ(idx.highestBelowLimit(), 9);

    idx.renumbered(9, 3);  // one of the two records numbered 9: 9 is still carried
    EXPECT_EQ(idx.highestBelowLimit(), 9);
    idx.renumbered(9, 4);  // the last one
    EXPECT_EQ(idx.highestBelowLimit(), 5);

    idx.renumbered(5, 80000);  // moved past the limit: no longer counted
    EXPECT_EQ(idx.highestBelowLimit(), 4);

    ASSERT_TRUE(idx.added(10, 59999, QStringLiteral("NUEVA"), QStringLiteral("7")));
    EXPECT_EQ(idx.highestBelowLimit(), 59999);
    ASSERT_TRUE(idx.added(11, 60000, std::nullopt, QStringLiteral("7")));  // at the limit: not counted
    EXPECT_EQ(idx.highestBelowLimit(), 59999);
}

TEST(AttributeIndexNumbering, NothingBelowTheLimitGivesNoNumber) {
    AttributeIndex idx;
    idx.load(recordsNumbered({60000, 61000}));
    EXPECT_FALSE(idx.highestBelowLimit().has_value());
    idx.renumbered(60000, 12);
    EXPECT_EQ(idx.highestBelowLimit(), 12);
    idx.renumbered(12, 60001);
    EXPECT_FALSE(idx.highestBelowLimit().has_value());
}

// A database in `dir` with one attribute table: mslink, tmapa, tcomplet and a Tfeature of `codeType`.
std::unique_ptr<engines::Database> attributeTable(const QTemporaryDir& dir, const QString& name,
                                                  int codeType) {
    std::unique_ptr<engines::Database> db = engines::CreateDatabase(dir.filePath("t.db"));
    engines::TableDef def(name);
    def.Append(engines::TableDef::CreateField("mslink", engines::dbLong));
    def.Append(engines::TableDef::CreateField("tmapa", engines::dbText));
    def.Append(engines::TableDef::CreateField("tcomplet", engines::dbText));
    def.Append(engines::TableDef::CreateField("tfeature", codeType));
    db->AppendTableDef(def);
    return db;
}

// Asks both indexes every key with every code and expects the same answers; returns how many found a
// record.
int sameAnswers(const AttributeIndex& stored, const AttributeIndex& values, const std::vector<QString>& keys,
                const std::vector<QString>& codes) {
    int found = 0;
    for (const QString& key : keys) {
        for (const QString& code : codes) {
            SCOPED_TRACE(qPrintable(key + QStringLiteral(" / ") + code));
            const auto a = stored.first(key, code);
            const auto b = values.first(key, code);
            EXPECT_EQ(a.has_value(), b.has_value());
            if (a && b) {
                ++found;
                EXPECT_EQ(a->pos, b->pos);
                EXPECT_EQ(a->id, b->id);
                EXPECT_EQ(a->unclaimed, b->unclaimed);
            }
        }
    }
    return found;
}

// An index is loaded from the rows as the engine stores them, plain ASCII texts keyed without a QString:
// it must answer exactly as one loaded from the same rows' values, whatever the texts and codes hold.
TEST(AttributeIndexLoading, FromTheStoredRowsAsFromTheirValues) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::unique_ptr<engines::Database> db =
        attributeTable(dir, QStringLiteral("RIOS"), engines::dbText);
    const QVariant kNull;
    struct Record {
        QVariant mslink, tmapa, tcomplet, tfeature;
    };
    const std::vector<Record> records = {
        {1, "calle mayor", kNull, kNull},  {2, "  Calle Mayor ", kNull, "301"},
        {3, "río", kNull, " 301"},         {4, "straße", kNull, kNull},
        {5, "", "Camino Real", "0301"},    {6, "   ", kNull, kNull},
        {7, "x\t", kNull, "ABC"},          {8, kNull, "CALLE MAYOR", "abc"},
        {9, "Calle  Mayor", kNull, kNull}, {kNull, "calle mayor", kNull, kNull},
        {70000, "río", kNull, "301"},      {10, "RÍO", kNull, "0301"},
        {11, "Strasse", kNull, kNull},     {12, "camino real", kNull, "301 "},
    };
    for (const Record& r : records) {
        db->InsertRow(
            "RIOS",
            {{"mslink", r.mslink}, {"tmapa", r.tmapa}, {"tcomplet", r.tcomplet}, {"tfeature", r.tfeature}});
    }
    AttributeIndexes indexes(*db);
    const AttributeIndex& stored = indexes.table(QStringLiteral("rios"));
    AttributeIndex values;
    values.load(db->ReadRows("RIOS", kIndexColumns));

    ASSERT_EQ(stored.size(), values.size());
    EXPECT_EQ(stored.highestBelowLimit(), values.highestBelowLimit());
    const std::vector<QString> keys = {"CALLE MAYOR", "RÍO", "STRASSE",      "STRAßE",     "CAMINO REAL", "",
                                       "X\t",         "X",   "CALLE  MAYOR", "calle mayor"};
    EXPECT_EQ(sameAnswers(stored, values, keys, {"301", "000301", "ABC", "abc", "302", ""}), 29);
    // A few answers spelled out: the key is trimmed and upper-cased, "ß" becomes "SS" as QString has it.
    EXPECT_EQ(stored.first("CALLE MAYOR", "000301")->mslink, 1);  // unclaimed, before record 2
    EXPECT_EQ(stored.first("STRASSE", "1")->mslink, 4);
    EXPECT_EQ(stored.first("RÍO", "301")->mslink, 3);
    EXPECT_EQ(stored.first("", "ABC")->mslink, 6);
    EXPECT_FALSE(stored.first("STRAßE", "1"));
}

// A code column of whole numbers holds each code as a number: the index takes its decimal digits, as
// the value of the column reads, and "000301" still finds the record that 301 claimed.
TEST(AttributeIndexLoading, CodesKeptAsWholeNumbersAsTheirValuesRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::unique_ptr<engines::Database> db =
        attributeTable(dir, QStringLiteral("PARCELAS"), engines::dbBigInt);
    const std::vector<std::pair<int, QVariant>> records = {
        {1, 301}, {2, -301}, {3, 0}, {4, QVariant(qlonglong{1} << 40)}, {5, QVariant()}, {6, 301},
    };
    for (const auto& [mslink, code] : records) {
        db->InsertRow("PARCELAS", {{"mslink", mslink}, {"tmapa", "Huerta"}, {"tfeature", code}});
    }
    AttributeIndexes indexes(*db);
    const AttributeIndex& stored = indexes.table(QStringLiteral("PARCELAS"));
    AttributeIndex values;
    values.load(db->ReadRows("PARCELAS", kIndexColumns));
    const std::vector<QString> codes = {"301", "000301",        "-301", "-0301", "0",
                                        "000", "1099511627776", " 301", "302"};
    EXPECT_EQ(sameAnswers(stored, values, {"HUERTA"}, codes), 9);  // the unclaimed record 5 answers any code
    EXPECT_EQ(stored.first("HUERTA", "000301")->mslink, 1);
    EXPECT_EQ(stored.first("HUERTA", "-0301")->mslink, 2);
    EXPECT_EQ(stored.first("HUERTA", "000")->mslink, 3);
    EXPECT_EQ(stored.first("HUERTA", "1099511627776")->mslink, 4);  // the text, beyond 32 bits
    EXPECT_EQ(stored.first("HUERTA", "302")->mslink, 5);
}

// Tables loaded all at once, on two threads, answer as tables loaded on first use, each as it was at the
// call; a table that cannot be loaded so is left to its first use, which fails as it always did.
TEST(AttributeIndexLoading, TablesLoadedTogetherAnswerAsTablesLoadedOnFirstUse) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::unique_ptr<engines::Database> db =
        attributeTable(dir, QStringLiteral("RIOS"), engines::dbText);
    for (const char* name : {"CALLES", "PARCELAS"}) {
        engines::TableDef def(name);
        for (const char* column : {"mslink", "tmapa", "tcomplet", "tfeature"}) {
            def.Append(engines::TableDef::CreateField(column, QLatin1String(column) == QLatin1String("mslink")
                                                                  ? engines::dbLong
                                                                  : engines::dbText));
        }
        db->AppendTableDef(def);
    }
    db->BeginTrans();
    std::vector<QString> keys;
    for (int i = 0; i < 3000; ++i) {
        const QString text = QStringLiteral("Calle %1").arg(i % 700);
        const QVariant code = i % 3 == 0 ? QVariant() : QVariant(QString::number(300 + i % 5));
        for (const char* table : {"RIOS", "CALLES", "PARCELAS"}) {
            db->InsertRow(table, {{"mslink", i % 2000}, {"tmapa", text}, {"tfeature", code}});
        }
        keys.push_back(textKey(text));
    }
    const std::vector<QString> tables = {"RIOS", "calles", "Calles", "PARCELAS", "NOEXISTE"};
    AttributeIndexes together(*db);
    together.loadTogether(tables);
    db->InsertRow("RIOS", {{"mslink", 1}, {"tmapa", "después"}});
    AttributeIndexes onFirstUse(*db);
    keys.resize(700);
    for (const QString table : {"RIOS", "calles", "Calles", "PARCELAS"}) {
        SCOPED_TRACE(qPrintable(table));
        const AttributeIndex& a = together.table(table);
        const AttributeIndex& b = onFirstUse.table(table);
        EXPECT_EQ(a.size() + (table == "RIOS" ? 1 : 0), b.size());  // RIOS was loaded before its new record
        EXPECT_EQ(a.highestBelowLimit(), b.highestBelowLimit());
        EXPECT_GT(sameAnswers(a, b, keys, {"300", "301", "0302", "999"}), 1000);
    }
    EXPECT_FALSE(together.table("RIOS").first("DESPUÉS", "1"));
    EXPECT_TRUE(onFirstUse.table("RIOS").first("DESPUÉS", "1"));
    EXPECT_THROW(together.table("NOEXISTE"), core::EngineError);
    db->Rollback();
}

// A server stores a changed record anew, out of its turn, and keeps the stored order in a column of its
// own, which may also be given out of turn: wherever the rows lie, and whether or not the server's
// statistics know of a change yet, the index answers as a scan in the stored order would.
TEST(AttributeIndexOnServer, AnswersInStoredOrderWhereverTheRowsLie) {
    testing::TestDatabase server(testing::Engine::Postgres);
    const std::vector<testing::Column> columns = {
        {"mslink", "INTEGER"}, {"tmapa", "VARCHAR(100)"}, {"tcomplet", "TEXT"}, {"tfeature", "INTEGER"}};
    const QVariant kNull;
    server.createTable("CALLES", columns);
    server.insertRows("CALLES", {{1, "mayor", kNull, kNull}, {2, "mayor", kNull, kNull}});
    server.exec(R"(UPDATE "CALLES" SET "tcomplet" = 'tocado' WHERE "mslink" = 1)");
    server.createTable("RIOS", columns);  // never changed: its rows lie as they were added
    server.exec(R"(INSERT INTO "RIOS" ("vexilo_orden", "mslink", "tmapa", "tfeature") )"
                R"(VALUES (20, 5, 'ancho', NULL), (30, 6, 'ancho', 7), (10, 4, 'ancho', NULL))");
    const auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(server.path());
    db->BeginTrans();  // as a job reads: in parts, through a cursor
    AttributeIndexes indexes(*db);
    const AttributeIndex& calles = indexes.table(QStringLiteral("CALLES"));
    EXPECT_EQ(calles.first("MAYOR", "301")->mslink, 1);
    const AttributeIndex& rios = indexes.table(QStringLiteral("RIOS"));
    ASSERT_EQ(rios.size(), 3U);
    EXPECT_EQ(rios.first("ANCHO", "301")->mslink, 4);
    EXPECT_EQ(rios.first("ANCHO", "301")->pos, 0U);
    db->Rollback();
}

}  // namespace
}  // namespace vexilo::catalog
