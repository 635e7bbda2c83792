// The attribute record writer: which record a text finds or claims, how new records are numbered, how
// records are renumbered, and the faults it refuses. Every case runs on a real database file.

#include "catalog/recordwriter.h"

#include <gtest/gtest.h>

#include "tests/support/attributerecords.h"
#include "tests/support/catalogfixture.h"

namespace vexilo::catalog {
namespace {

using testing::CatalogRun;
using testing::CatalogTables;
using testing::Rec;

const QString kTable = QStringLiteral("PARCELA");

const QVariant N;  // Null

CatalogTables oneTable(bool textCodes = false) {
    CatalogTables t;
    t.msCatalog = {{kTable, 5}};
    t.feature = {{123, kTable}};
    if (!textCodes) {
        t.attributeTables = {kTable};
    }
    return t;
}

class RecordWriter : public ::testing::Test {
  protected:
    explicit RecordWriter(bool textCodes = false) : run(oneTable(textCodes)) {
        if (textCodes) {
            // A user's table whose tfeature holds text: codes read back exactly as written.
            auto fields = testing::attributeTableFields();
            fields[3].type = engines::dbText;
            testing::makeTable(*run.Bd, kTable, fields);
        }
    }

    void store(const std::vector<Rec>& recs) { testing::storeRecords(*run.Bd, kTable, recs); }
    std::vector<Rec> stored() { return testing::readRecords(*run.Bd, kTable); }
    std::int32_t find(QString codigo, QString texto) {
        return busca_en_su_tabla(run.records(), codigo, kTable, texto);
    }
    std::int32_t add(QString codigo, const QString& texto) {
        // The element's own number is offered only when the graphic assignments are kept, as the pass does.
        return AnadeNuevoRegistro(run.records(), codigo, kTable, texto,
                                  MantenerAsignaciones ? RegistroGrafico : 0);
    }
    std::int32_t modify(std::int32_t registro, std::int32_t fresh) {
        ModificaRegistro(run.records(), kTable, registro, fresh);
        return registro;
    }

    CatalogRun run;
    bool MantenerAsignaciones = false;
    std::int32_t RegistroGrafico = 0;  // the number the element's own link gives
};

class RecordWriterTextCodes : public RecordWriter {
  protected:
    RecordWriterTextCodes() : RecordWriter(true) {}
};

TEST_F(RecordWriter, SearchTakesFirstRecordHoldingTheTextForTheCodeInNaturalOrder) {
    store({
        {1, "OTRO", N, 123},
        {2, "Calle Mayor", N, 999},     // holds the text but belongs to another code: passed over
        {3, N, "  calle MAYOR ", 123},  // tmapa Null: compared through tcomplet, trimmed, any case
        {4, "CALLE MAYOR", N, 123},     // later: never reached
        {5, "", "Plaza", 123},          // an empty tmapa is compared through tcomplet too
    });
    const QChar nul(u'\0');
    EXPECT_EQ(
        find(QStringLiteral(" 123") + nul, QStringLiteral("  Calle Mayor") + nul + QStringLiteral("xx")), 3);
    EXPECT_EQ(find("123", "PLAZA"), 5);
    EXPECT_EQ(find("123", "Nada"), 0);
}

TEST_F(RecordWriter, SearchClaimsTheFirstUnclaimedRecordAndLaterSearchesSeeTheClaim) {
    store({{7, "Rio", N, N}, {8, "RIO", N, 123}});
    const std::vector<Rec> before = stored();
    EXPECT_EQ(find("123", "rio"), 7);  // claimed before the record that already belongs to the code
    const std::vector<Rec> after = stored();
    EXPECT_EQ(after[0], (Rec{7, "Rio", N, 123}));
    EXPECT_EQ(after[1], before[1]);

    // The claim is seen at once: another code no longer finds the record, the owner finds it unchanged.
    EXPECT_EQ(find("124", "Rio"), 0);
    EXPECT_EQ(find("123", "Rio"), 7);
    EXPECT_EQ(stored(), after);
}

TEST_F(RecordWriter, RecordsWithoutTextOrNumberNeverMatch) {
    // tmapa Null or "" with tcomplet Null holds no text; a record without mslink cannot be taken.
    store({{1, N, N, N}, {2, "", N, N}, {N, "X", N, N}, {4, "X", N, 123}});
    EXPECT_EQ(find("123", "X"), 4);
    EXPECT_EQ(find("123", ""), 0);
    const std::vector<Rec> recs = stored();
    EXPECT_TRUE(recs[0].tfeature.isNull());
    EXPECT_TRUE(recs[1].tfeature.isNull());
    EXPECT_TRUE(recs[2].tfeature.isNull());
}

TEST_F(RecordWriter, EmptyTableFindsNothingAndNumbersFromOne) {
    EXPECT_EQ(find("123", "Algo"), 0);
    EXPECT_TRUE(stored().empty());
    EXPECT_EQ(add("123", "Algo"), 1);
    EXPECT_EQ(stored(), (std::vector<Rec>{{1, "Algo", N, 123}}));
}

// What every column type stores and gives back unchanged, so that a claim need not read it back.
TEST(ReadsBackAsWritten, OnlyPlainDecimalNumbersWithin32Bits) {
    for (const char* code : {"0", "7", "123", "-1", "-123", "2147483647", "-2147483648", "1000000000"}) {
        EXPECT_TRUE(readsBackAsWritten(QString::fromLatin1(code))) << code;
    }
    for (const char* code : {"", "-", "-0", "00", "0123", "-0123", "+1", " 1", "1 ", "1\n", "12a", "1.0",
                             "2147483648", "-2147483649", "99999999999", "\xD9\xA1"}) {
        EXPECT_FALSE(readsBackAsWritten(QString::fromUtf8(code))) << code;
    }
}

TEST_F(RecordWriter, NumericCodeColumnTakesTheClaimOfACodeWithLeadingZeros) {
    store({{1, "Sol", N, N}, {2, "Sol", N, N}, {3, "Sol", N, 123}});
    // The claim stores 123, which reads back without the zero: still the code, so it is taken.
    bool claimed = false;
    QString codigo = QStringLiteral("0123");
    QString texto = QStringLiteral("Sol");
    EXPECT_EQ(busca_en_su_tabla(run.records(), codigo, kTable, texto, &claimed), 1);
    EXPECT_TRUE(claimed);
    EXPECT_EQ(stored()[0].tfeature.toInt(), 123);
    EXPECT_TRUE(stored()[1].tfeature.isNull());
    // Every later search by any form of the code finds that record and claims nothing more.
    const std::vector<Rec> after = stored();
    EXPECT_EQ(find("123", "Sol"), 1);
    EXPECT_EQ(find("000123", "Sol"), 1);
    EXPECT_EQ(stored(), after);
}

// A job repeated on a sheet takes what the first one added: the code "0123" is stored as the number
// 123, which must be found again rather than added once more on every run.
TEST_F(RecordWriter, ARecordAddedForACodeWithLeadingZerosIsFoundByIt) {
    EXPECT_EQ(find("0123", "Nuevo"), 0);
    EXPECT_EQ(add("0123", "Nuevo"), 1);
    EXPECT_EQ(find("0123", "Nuevo"), 1);
    EXPECT_EQ(find(" 00123", "NUEVO"), 1);
    EXPECT_EQ(stored().size(), 1u);
}

TEST_F(RecordWriterTextCodes, TextCodeColumnTakesACodeWithLeadingZeros) {
    store({{1, "Sol", N, N}, {2, "Sol", N, N}});
    EXPECT_EQ(find("0123", "Sol"), 1);
    EXPECT_EQ(stored()[0].tfeature.toString(), "0123");
    EXPECT_TRUE(stored()[1].tfeature.isNull());
    EXPECT_EQ(find("123", "Sol"), 1);  // "0123" reads as the number 123
    EXPECT_TRUE(stored()[1].tfeature.isNull());
}

// A text column holding the number as "123" or "123 " belongs to "0123"; the first such record in the
// table's order is taken, whatever its form, and nothing is claimed or added.
TEST_F(RecordWriterTextCodes, EveryFormOfTheNumberBelongsToTheCodeAndTheFirstIsTaken) {
    store({{1, "Sol", N, "124"},
           {2, "Sol", N, "123 "},
           {3, "Sol", N, "123"},
           {4, "Sol", N, N},
           {5, "Mar", N, "123"},
           {6, "Mar", N, "0123"},
           {7, "Rio", N, "123.0"},
           {8, "Rio", N, "12 3"}});
    const std::vector<Rec> before = stored();
    EXPECT_EQ(find("0123", "Sol"), 2);
    EXPECT_EQ(find("123", "Sol"), 2);
    EXPECT_EQ(find("0124", "Sol"), 1);
    EXPECT_EQ(find("00123", "Mar"), 5);
    EXPECT_EQ(find("0123", "Mar"), 5);  // the exact text comes later in the table: order decides
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(find("123", "Rio"), 0);  // neither a fraction nor inner blanks read as a whole number
}

TEST_F(RecordWriter, NumberingSkipsRecordsFrom60000AndNeverReusesGaps) {
    store({{1, "a", N, 1}, {2, "b", N, 1}, {60001, "c", N, 1}, {5, "d", N, 1}});
    EXPECT_EQ(add("123", "Nuevo"), 6);
    EXPECT_EQ(add("123", "Otro"), 7);  // the addition is seen by the next one
    EXPECT_EQ(stored().back(), (Rec{7, "Otro", N, 123}));
}

TEST_F(RecordWriter, NumberingWithOnlyHighNumbersStartsAtOne) {
    store({{60000, "a", N, 1}, {70000, "b", N, 1}});
    EXPECT_EQ(add("123", "Nuevo"), 1);
}

TEST_F(RecordWriter, KeepingGraphicAssignmentsTakesTheElementsNumber) {
    store({{1, "a", N, 1}, {2, "b", N, 1}});
    MantenerAsignaciones = true;
    RegistroGrafico = 1234;
    EXPECT_EQ(add("0123", "Nuevo"), 1234);
    EXPECT_EQ(stored().back(), (Rec{1234, "Nuevo", N, 123}));  // the code stored as a number
    RegistroGrafico = 0;  // no number of its own: the rule, which now sees 1234
    EXPECT_EQ(add("123", "Otro"), 1235);
    MantenerAsignaciones = false;
    RegistroGrafico = 99;
    EXPECT_EQ(add("123", "Tercero"), 1236);
}

TEST_F(RecordWriter, NumberingFollowsRenumberingsOfTheHighestRecord) {
    store({{1, "a", N, 1}, {2, "b", N, 1}, {5, "c", N, 1}});
    EXPECT_EQ(modify(5, 70000), 70000);  // the highest leaves the range
    EXPECT_EQ(add("123", "x"), 3);
    EXPECT_EQ(modify(3, 40), 40);  // a record moves up within the range
    EXPECT_EQ(add("123", "y"), 41);
    EXPECT_EQ(modify(70000, 50), 50);  // and one comes back into it
    EXPECT_EQ(add("123", "z"), 51);
}

TEST_F(RecordWriter, RenumberingChangesTheFirstRecordWithTheNumber) {
    store({{6, "a", N, 1}, {6, "b", N, 1}});
    EXPECT_EQ(modify(6, 1234), 1234);
    const std::vector<Rec> recs = stored();
    EXPECT_EQ(recs[0].mslink.toInt(), 1234);
    EXPECT_EQ(recs[1].mslink.toInt(), 6);
    EXPECT_EQ(modify(6, 1235), 1235);  // the duplicate is next
    EXPECT_EQ(stored()[1].mslink.toInt(), 1235);
    // The renumbered record is still found by its text, under its new number.
    EXPECT_EQ(find("1", "a"), 1234);
}

TEST_F(RecordWriter, RenumberingANumberNoRecordHoldsStopsNamingTableAndNumber) {
    store({{6, "a", N, 1}});
    EXPECT_EQ(modify(6, 7), 7);
    try {
        modify(6, 8);
        FAIL() << "expected a stop";
    } catch (const core::Stop& stop) {
        EXPECT_TRUE(stop.message().contains(kTable));
        EXPECT_TRUE(stop.message().contains(QStringLiteral(" 6 ")));
    }
    EXPECT_EQ(stored()[0].mslink.toInt(), 7);
}

TEST_F(RecordWriter, NumberingThatWouldReach60000StopsWithoutAddingARecord) {
    store({{59998, "a", N, 1}});
    EXPECT_EQ(add("123", "b"), 59999);
    try {
        add("123", "c");
        FAIL() << "expected a stop";
    } catch (const core::Stop& stop) {
        EXPECT_TRUE(stop.message().contains(kTable));
        EXPECT_TRUE(stop.message().contains(QStringLiteral("60000")));
    }
    EXPECT_EQ(stored().size(), 2u);
    // The element's own number is still accepted.
    MantenerAsignaciones = true;
    RegistroGrafico = 70001;
    EXPECT_EQ(add("123", "c"), 70001);
}

TEST_F(RecordWriter, TextLongerThanTheColumnIsAnEngineErrorNamingTableAndText) {
    const QString longOne(101, QLatin1Char('x'));
    try {
        add("123", longOne);
        FAIL() << "expected an engine error";
    } catch (const core::EngineError& e) {
        EXPECT_TRUE(e.description().contains(kTable)) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(longOne));
        // Named once: the engine's message already names the table.
        EXPECT_EQ(e.description().count(kTable, Qt::CaseInsensitive), 1) << e.description().toStdString();
    }
    EXPECT_TRUE(stored().empty());
    EXPECT_EQ(add("123", QString(100, QLatin1Char('x'))), 1);  // the column's own size is accepted
}

TEST_F(RecordWriter, ANewDatabaseIsReadAfresh) {
    store({{1, "a", N, N}});
    EXPECT_EQ(find("123", "a"), 1);
    CatalogTables t = oneTable();
    run.switchTo(t, "otra.db");
    store({{9, "a", N, N}});
    EXPECT_EQ(find("123", "a"), 9);
}

}  // namespace
}  // namespace vexilo::catalog
