// The text assignment pass from a built drawing to the output file, the attribute records and the run
// log: the keep / append / relink / renumber decision, new records, claims across elements, the log
// rows, the elements that cannot take a link, and what stays written after a stop.

#include "passes/assignmentpass.h"

#include <gtest/gtest.h>

#include <tuple>

#include "engines/dao.h"
#include "tests/support/attributerecords.h"
#include "tests/support/catalogfixture.h"
#include "tests/support/elementbuilder.h"
#include "tests/support/recordingobserver.h"

namespace vexilo::passes {
namespace {

using testing::Bytes;
using testing::ElementBuilder;
using testing::LogRow;
using testing::ParsedElement;
using testing::Rec;

const QVariant N;  // Null
const QString kParcel = QStringLiteral("PARCELA");

using Links = std::vector<std::pair<std::int16_t, std::int32_t>>;

Links linksOf(const ParsedElement& e) {
    Links out;
    for (const auto& l : e.links) {
        out.emplace_back(l.entitynum, l.mslink);
    }
    return out;
}

ElementBuilder text(std::string_view codigo, std::string_view texto, const Links& links = {}) {
    ElementBuilder b = ElementBuilder::t();
    b.codigoNul(codigo).texto(texto);
    for (const auto& [entitynum, mslink] : links) {
        b.link(entitynum, mslink);
    }
    return b;
}

testing::CatalogTables tables() {
    testing::CatalogTables t;
    // ANCHA carries an entity number that a link's 16 bits cannot hold.
    t.msCatalog = {{kParcel, 5}, {"CALLES", 7}, {"ANCHA", 40000}};
    t.feature = {{123, kParcel},       {124, kParcel},    {456, "CALLES"}, {300, "ANCHA"},
                 {789, "SINCATALOGO"}, {500, kParcel, 4}, {600, kParcel}};
    t.noAsignar = std::vector<QVariant>{600};
    t.attributeTables = {kParcel, "CALLES", "ANCHA"};
    return t;
}

class AssignmentPass : public ::testing::Test {
  protected:
    AssignmentPass() : run(tables()) {
        run.check();
        NombreBin = run.dir.filePath("mapa.bin");
        NombreBinSalida = run.dir.filePath("mapa_s.bin");
    }

    void records(const QString& table, const std::vector<Rec>& recs) {
        testing::storeRecords(*run.Bd, table, recs);
    }

    // Runs the pass over the elements; the output is read back into `out` (also after a stop, which
    // is rethrown once the files and the database are closed as the run driver closes them).
    void pass(const std::vector<ElementBuilder>& elements, bool keep) {
        input = testing::concat(elements);
        testing::writeFile(NombreBin, input);
        drawing::BinReader file1(NombreBin);
        drawing::BinWriter file3(NombreBinSalida);
        try {
            const AssignmentInputs inputs{run.catalog, run.records(),   run.log(),
                                          NombreBin,   NombreBinSalida, keep};
            LeoBinEntrada(inputs, view, file1, file3);
        } catch (...) {
            file3.close();
            run.close();
            reopen();
            throw;
        }
        file3.close();
        EXPECT_TRUE(run.Bd) << "the pass leaves the database to the job, which commits it";
        run.close();
        reopen();
    }
    void reopen() {
        db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(run.path);
        out = testing::parseFile(NombreBinSalida);
        in = testing::parseElements(input);
    }
    std::vector<Rec> stored(const QString& table) { return testing::readRecords(*db, table); }
    std::vector<LogRow> log() { return testing::readLog(*db); }
    LogRow inputLog(qint64 mslink, qint64 atr, const QString& texto, const QString& table = kParcel) {
        return {table, mslink, atr, NombreBin, texto};
    }
    LogRow outputLog(qint64 mslink, const QString& texto, const QString& table = kParcel) {
        return {table, mslink, mslink, NombreBinSalida, texto};
    }

    testing::CatalogRun run;
    testing::RecordingObserver told;
    QString NombreBin;
    QString NombreBinSalida;
    core::Progress progress{&run.display};
    core::RunReport report;
    PassView view{progress, report, &told};
    std::unique_ptr<engines::Database> db;
    Bytes input;
    std::vector<ParsedElement> in;
    std::vector<ParsedElement> out;
};

struct DecisionCase {
    const char* name;
    bool keep;
    Links linksIn;
    Links linksOut;
    std::int32_t recordAfter;  // mslink of the record holding the text, after the pass
    std::int32_t registroGrafico;
    bool corregirEnlace;
    bool corregirRegistro;
    core::Decision decision;
};

class Decision : public AssignmentPass, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(Decision, LinksRecordAndLogAgreeAfterTheElement) {
    const DecisionCase& c = GetParam();
    records(kParcel, {{2, "Otra", N, 123}, {3, "Hola", N, 123}});
    pass({text("123", " hola", c.linksIn).seed(10), ElementBuilder::c().records(2).seed(20)}, c.keep);

    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(linksOf(out[0]), c.linksOut);
    EXPECT_EQ(out[0].numEnlaces, c.linksOut.size());
    EXPECT_EQ(out[0].codigo, std::string("123\0\0\0\0", 7));
    EXPECT_EQ(out[0].body, in[0].body);  // the text is never changed
    EXPECT_EQ(out[0].block, in[0].block);
    // An appended link grows the element by 12 bytes and shifts the next one, which is copied as it was.
    const std::size_t grown = 12 * (c.linksOut.size() - c.linksIn.size());
    EXPECT_EQ(out[0].size, in[0].size + grown);
    EXPECT_EQ(out[1].offset, in[1].offset + grown);
    EXPECT_EQ(out[1].body, in[1].body);
    EXPECT_EQ(out[1].block, in[1].block);

    EXPECT_EQ(stored(kParcel), (std::vector<Rec>{{2, "Otra", N, 123}, {c.recordAfter, "Hola", N, 123}}));
    EXPECT_EQ(log(), (std::vector<LogRow>{inputLog(3, c.registroGrafico, "hola"),
                                          outputLog(c.recordAfter, "hola")}));
    EXPECT_EQ(view.TextosProcesados, 1);

    // The observer hears the same decision, the record the element ends tied to, and nothing of the C
    // element.
    ASSERT_EQ(told.texts.size(), 1u);
    const testing::RecordedText& t = told.texts[0];
    EXPECT_EQ(t.decision == core::Decision::Relink, c.corregirEnlace);
    EXPECT_EQ(t.decision == core::Decision::Renumber, c.corregirRegistro);
    EXPECT_EQ(t.decision, c.decision);
    EXPECT_EQ(t.passedOver, core::PassedOver::None);
    EXPECT_EQ(t.offset, in[0].offset);
    EXPECT_EQ(t.codigo, "123");
    EXPECT_EQ(t.texto, "hola");
    EXPECT_EQ(t.tabla, kParcel);
    EXPECT_EQ(t.entitynum, 5);
    EXPECT_EQ(t.registro, c.recordAfter);
    EXPECT_FALSE(t.newRecord);
    EXPECT_FALSE(t.claimed);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRowWithBothOptions, Decision,
    ::testing::Values(
        DecisionCase{
            "KeepNo", false, {{7, 50}, {5, 3}}, {{7, 50}, {5, 3}}, 3, 3, false, false, core::Decision::Keep},
        DecisionCase{
            "KeepSi", true, {{7, 50}, {5, 3}}, {{7, 50}, {5, 3}}, 3, 3, false, false, core::Decision::Keep},
        DecisionCase{
            "AppendNo", false, {{7, 50}}, {{7, 50}, {5, 3}}, 3, 0, false, false, core::Decision::Append},
        DecisionCase{
            "AppendSi", true, {{7, 50}}, {{7, 50}, {5, 3}}, 3, 0, false, false, core::Decision::Append},
        // Two links for the table, neither to the record: rewritten both, or the record takes the
        // number of the last of them.
        DecisionCase{"RelinkNo",
                     false,
                     {{5, 900}, {7, 50}, {5, 901}},
                     {{5, 3}, {7, 50}, {5, 3}},
                     3,
                     901,
                     true,
                     false,
                     core::Decision::Relink},
        DecisionCase{"RenumberSi",
                     true,
                     {{5, 900}, {7, 50}, {5, 901}},
                     {{5, 900}, {7, 50}, {5, 901}},
                     901,
                     901,
                     false,
                     true,
                     core::Decision::Renumber}),
    [](const ::testing::TestParamInfo<DecisionCase>& info) { return std::string(info.param.name); });

TEST_F(AssignmentPass, NewRecordTakesTheElementsNumberOnlyWithSi) {
    records(kParcel, {{3, "Hola", N, 123}});
    pass({text("123", "Nuevo", {{5, 1234}})}, true);
    EXPECT_EQ(linksOf(out[0]), (Links{{5, 1234}}));  // already linked: nothing else changes
    EXPECT_EQ(stored(kParcel).back(), (Rec{1234, "Nuevo", N, 123}));
    EXPECT_EQ(log(), (std::vector<LogRow>{inputLog(1234, 1234, "Nuevo"), outputLog(1234, "Nuevo")}));
}

TEST_F(AssignmentPass, NewRecordIsNumberedByTheRuleWithNo) {
    records(kParcel, {{3, "Hola", N, 123}});
    pass({text("123", "Nuevo", {{5, 1234}})}, false);
    EXPECT_EQ(linksOf(out[0]), (Links{{5, 4}}));
    EXPECT_EQ(stored(kParcel).back(), (Rec{4, "Nuevo", N, 123}));
}

TEST_F(AssignmentPass, TextWithoutTableMakesNoDatabaseCallAndOnlyPadsTheCode) {
    records(kParcel, {{3, "Hola", N, N}});
    // 789 names a table that MsCatalog lacks (no entity number, and no such table either: any call
    // on it would fail); 999 designates no feature.
    pass({text("789", "Hola", {{5, 77}}).codigoSpaces(" 789"), text("999", "Hola").seed(3),
          text("123", "Hola", {{5, 3}}).seed(4)},
         false);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].codigo, std::string("789\0\0\0\0", 7));
    EXPECT_EQ(out[1].codigo, std::string("999\0\0\0\0", 7));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(linksOf(out[i]), linksOf(in[i]));
        EXPECT_EQ(out[i].size, in[i].size);
        EXPECT_EQ(out[i].body, in[i].body);
    }
    EXPECT_EQ(view.TextosProcesados, 1);  // texts with a table, changed or not
    EXPECT_EQ(run.display.text(core::Control::Label2), "Textos Procesados : ");
    EXPECT_EQ(run.display.text(core::Control::Text1), "1");
    EXPECT_EQ(log().size(), 2u);  // the third element only
    EXPECT_EQ(stored(kParcel), (std::vector<Rec>{{3, "Hola", N, 123}}));
}

TEST_F(AssignmentPass, ClaimsAreSeenByLaterElementsAndTheLogKeepsTheFirstText) {
    records(kParcel, {{1, "Rio", N, N}});
    pass({text("123", "Rio"), text("124", "RIO"), text("123", " rio  ")}, false);
    EXPECT_EQ(linksOf(out[0]), (Links{{5, 1}}));
    EXPECT_EQ(linksOf(out[1]), (Links{{5, 2}}));  // the claimed record belongs to 123 now
    EXPECT_EQ(linksOf(out[2]), (Links{{5, 1}}));
    EXPECT_EQ(stored(kParcel), (std::vector<Rec>{{1, "Rio", N, 123}, {2, "RIO", N, 124}}));
    // Two rows per element, once per table, record and file: the repeat adds none.
    EXPECT_EQ(log(), (std::vector<LogRow>{inputLog(1, 0, "Rio"), outputLog(1, "Rio"), inputLog(2, 0, "RIO"),
                                          outputLog(2, "RIO")}));
    // Who claimed and who added, as the observer heard it.
    ASSERT_EQ(told.texts.size(), 3u);
    std::vector<std::tuple<std::int32_t, bool, bool>> heard;
    for (const auto& t : told.texts) {
        heard.emplace_back(t.registro, t.claimed, t.newRecord);
    }
    EXPECT_EQ(heard, (std::vector<std::tuple<std::int32_t, bool, bool>>{
                         {1, true, false}, {2, false, true}, {1, false, false}}));
    EXPECT_EQ(told.texts[2].texto, "rio");  // as normalised
}

// Every reason a text is passed over, in file order, with its table when it had one, and the counts
// of the run report agree with what the observer heard.
TEST_F(AssignmentPass, EachTextPassedOverIsToldWithItsReasonInFileOrder) {
    ElementBuilder full = text("123", "Lleno");
    for (int i = 0; i < 255; ++i) {
        full.link(7, i);
    }
    pass({text("999", "Sin feature"), text("600", "Excluido").seed(2), text("500", "Centro").seed(3),
          text("789", "Sin entitynum").seed(4), text("12a", "Letras").seed(5), full.seed(6),
          text("300", "Ancho").seed(7), ElementBuilder::c().records(1), text(" 00123 ", "Bien").seed(8)},
         false);
    using core::PassedOver;
    const std::vector<PassedOver> expected = {PassedOver::NoFeature,
                                              PassedOver::Excluded,
                                              PassedOver::Centroid,
                                              PassedOver::NoEntitynum,
                                              PassedOver::NonNumericCode,
                                              PassedOver::FullLinks,
                                              PassedOver::EntitynumOutOfRange,
                                              PassedOver::None};
    ASSERT_EQ(told.texts.size(), expected.size());
    const std::size_t textAt[] = {0, 1, 2, 3, 4, 5, 6, 8};  // the C element is not told
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const testing::RecordedText& t = told.texts[i];
        EXPECT_EQ(t.passedOver, expected[i]);
        EXPECT_EQ(t.decision == core::Decision::None, expected[i] != PassedOver::None);
        EXPECT_EQ(t.offset, in[textAt[i]].offset);
        // Only the elements that reached their table say which.
        EXPECT_EQ(t.tabla.has_value(), i >= 5);
    }
    EXPECT_EQ(told.texts[4].codigo, "12a");
    EXPECT_EQ(told.texts[5].registro, 1);  // the record is still made, only the link is missing
    EXPECT_TRUE(told.texts[5].newRecord);
    EXPECT_EQ(told.texts[6].tabla, "ANCHA");
    EXPECT_EQ(told.texts[6].entitynum, 40000);
    EXPECT_EQ(told.texts[7].codigo, "00123");
    EXPECT_EQ(told.texts[7].decision, core::Decision::Append);
    for (PassedOver reason : expected) {
        if (reason != PassedOver::None) {
            EXPECT_EQ(report[reason], 1) << core::passedOverText(reason).toStdString();
        }
    }
    EXPECT_EQ(view.TextosProcesados, 3);
}

TEST_F(AssignmentPass, ElementThatCannotTakeALinkKeepsItsLinksAndIsCounted) {
    ElementBuilder full = text("123", "Hola");
    for (int i = 0; i < 255; ++i) {
        full.link(7, i);
    }
    pass({full, text("300", "Ancho", {{7, 1}}).seed(5)}, false);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].numEnlaces, 255);
    EXPECT_EQ(linksOf(out[0]), linksOf(in[0]));
    EXPECT_EQ(linksOf(out[1]), (Links{{7, 1}}));  // 40000 does not fit in a link's entity number
    EXPECT_EQ(out[1].size, in[1].size);
    EXPECT_EQ(report[core::PassedOver::FullLinks], 1);
    EXPECT_EQ(report[core::PassedOver::EntitynumOutOfRange], 1);
    // The records are still found or made, and both logged.
    EXPECT_EQ(stored("ANCHA"), (std::vector<Rec>{{1, "Ancho", N, 300}}));
    EXPECT_EQ(log().size(), 4u);
}

TEST_F(AssignmentPass, WritesBeforeAStopStayInTheDatabaseAndTheOutput) {
    records(kParcel, {{59998, "a", N, 123}});
    EXPECT_THROW(pass({text("123", "b"), text("123", "c").seed(2), text("123", "d").seed(3)}, false),
                 core::Stop);
    // The observer heard the element done and where the pass stopped: the next one.
    ASSERT_EQ(told.texts.size(), 1u);
    EXPECT_EQ(told.stop, in[1].offset);
    EXPECT_EQ(stored(kParcel), (std::vector<Rec>{{59998, "a", N, 123}, {59999, "b", N, 123}}));
    EXPECT_EQ(log(), (std::vector<LogRow>{inputLog(59999, 0, "b"), outputLog(59999, "b")}));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(linksOf(out[0]), (Links{{5, 59999}}));
}

TEST_F(AssignmentPass, TooLongATextEndsTheRunNamingTableAndText) {
    const std::string longOne(101, 'x');
    try {
        pass({text("123", longOne)}, false);
        FAIL() << "expected an engine error";
    } catch (const core::EngineError& e) {
        EXPECT_TRUE(e.description().contains(kParcel));
        EXPECT_TRUE(e.description().contains(QString::fromStdString(longOne)));
    }
    EXPECT_TRUE(stored(kParcel).empty());
}

}  // namespace
}  // namespace vexilo::passes
