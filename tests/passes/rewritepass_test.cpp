// The text rewrite pass: which texts are replaced, how the new text is cut into chunks, what the output
// keeps around a replaced element, the faults of the links, and that the database is only read.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "drawing/binfile.h"
#include "engines/dao.h"
#include "passes/rewritepass.h"
#include "tests/support/elementbuilder.h"
#include "tests/support/recordingdisplay.h"
#include "tests/support/recordingobserver.h"

namespace vexilo::passes {
namespace {

using testing::Bytes;
using testing::ElementBuilder;
using testing::ParsedElement;

constexpr std::int16_t kParcels = 5;
constexpr std::int16_t kStreets = 7;
const QVariant kNull;

// The chunks the system writes for a text: floor(L / 12) + 1 of them, NUL-filled.
std::string asSystemWrites(const std::string& texto) {
    std::string s = texto;
    s.resize((texto.size() / 12 + 1) * 12, '\0');
    return s;
}

Bytes piece(const Bytes& file, const ParsedElement& e) {
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(e.offset),
                 file.begin() + static_cast<std::ptrdiff_t>(e.offset + e.size));
}

class RewritePassTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_bdPath = m_dir.filePath("atributos.db");
        auto bd = engines::CreateDatabase(m_bdPath);
        for (const char* table : {"PARCELAS", "CALLES"}) {
            engines::TableDef def(QString::fromLatin1(table));
            def.Append(engines::TableDef::CreateField("mslink", engines::dbLong));
            def.Append(engines::TableDef::CreateField("tcomplet", engines::dbText));
            def.Append(engines::TableDef::CreateField("tmapa", engines::dbText, 100));
            bd->AppendTableDef(def);
        }
        bd->Close();
        m_catalog.TablasMsCatalog.push_back({QStringLiteral("PARCELAS"), kParcels});
        m_catalog.TablasMsCatalog.push_back({QStringLiteral("CALLES"), kStreets});
        m_catalog.NumTablasMsCatalog = 2;
    }

    void registro(const QString& table, int mslink, const QVariant& tmapa, const QVariant& tcomplet = kNull) {
        abreBd();
        m_bd->InsertRow(table, {{"mslink", mslink}, {"tmapa", tmapa}, {"tcomplet", tcomplet}});
    }
    void abreBd() {
        if (!m_bd) {
            m_bd = engines::DBEngine::instance().Workspaces(0).OpenDatabase(m_bdPath);
        }
    }

    // Runs the pass over the elements and returns the output file's bytes. A stop is kept in m_stop; the
    // output and the database are then closed as the run driver closes them.
    Bytes run(const std::vector<ElementBuilder>& elements) {
        abreBd();
        m_input = testing::concat(elements);
        testing::writeFile(m_dir.filePath("in.bin"), m_input);
        drawing::BinReader file1(m_dir.filePath("in.bin"));
        drawing::BinWriter file3(m_dir.filePath("in_s.bin"));
        catalog::AttributeTexts texts(*m_bd);
        passes::PassView view{m_progress, m_report, m_observer};
        try {
            LeoBinCambiaTextoBin(m_catalog, texts, view, file1, file3);
        } catch (const core::Stop& stop) {
            m_stop = stop.message();
            m_stopIcon = stop.icon();
        }
        m_texts = view.TextosProcesados;
        file3.close();
        m_bd->Close();
        m_bd.reset();
        return testing::readFile(m_dir.filePath("in_s.bin"));
    }

    std::vector<ParsedElement> runAndRead(const std::vector<ElementBuilder>& elements) {
        m_output = run(elements);
        return testing::parseElements(m_output);
    }

    QTemporaryDir m_dir;
    QString m_bdPath;
    testing::RecordingDisplay m_display;
    std::unique_ptr<engines::Database> m_bd;
    catalog::Catalog m_catalog;
    core::Progress m_progress{&m_display};
    core::RunReport m_report;
    core::TextObserver* m_observer = nullptr;
    std::int32_t m_texts = 0;  // TextosProcesados of the last pass
    Bytes m_input;
    Bytes m_output;
    std::optional<QString> m_stop;
    core::Icon m_stopIcon = core::Icon::Critical;
};

TEST_F(RewritePassTest, ReplacedTextIsCutIntoChunksAsTheSystemWritesThem) {
    struct Case {
        std::string databaseText;  // Windows-1252 bytes
        std::int16_t numRegistros;
    };
    const std::vector<Case> cases = {
        {"Calle Mayor", 2},  // 11: one chunk ending in one NUL
        {"Plaza Espa\xF1"
         "a",
         3},                                       // 12: the text, then 12 NULs
        {"Avenida de la Constituci\xF3n, 12", 4},  // 30: 12, 12, then 6 and 6 NULs
        {"", 2},                                   // empty tmapa: one chunk of NULs
    };
    std::vector<ElementBuilder> input;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        registro("PARCELAS", n, QString::fromLatin1(cases[i].databaseText), "otro texto completo");
        input.push_back(ElementBuilder::t()
                            .seed(static_cast<std::uint8_t>(10 * n))
                            .codigoSpaces("  42")
                            .texto("texto viejo en tres trozos, ocupa", testing::Pad::Space)
                            .link(kParcels, n));
    }
    const auto output = runAndRead(input);
    const auto read = testing::parseElements(m_input);

    ASSERT_EQ(output.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].databaseText);
        EXPECT_EQ(output[i].numRegistros, cases[i].numRegistros);
        EXPECT_EQ(output[i].rawChunks(), asSystemWrites(cases[i].databaseText));
        // Everything else is written as read: code, block, first body record, links.
        EXPECT_EQ(output[i].codigo, read[i].codigo);
        EXPECT_EQ(output[i].block, read[i].block);
        EXPECT_EQ(output[i].body.front(), read[i].body.front());
        ASSERT_EQ(output[i].links.size(), 1u);
        EXPECT_EQ(output[i].links[0].mslink, read[i].links[0].mslink);
        EXPECT_EQ(output[i].links[0].reservado, read[i].links[0].reservado);
    }
    EXPECT_EQ(m_texts, 4);
    EXPECT_EQ(m_display.text(core::Control::Label2), QStringLiteral("Textos Procesados : "));
    EXPECT_EQ(m_display.text(core::Control::Text1), QStringLiteral("4"));
    EXPECT_FALSE(m_bd);  // the database is closed, as the run driver closes it after the pass
}

TEST_F(RewritePassTest, ShortenedElementIsFollowedDirectlyByTheRest) {
    registro("PARCELAS", 1, "Corto");
    registro("CALLES", 2, "Igual");
    const auto output = runAndRead({
        ElementBuilder::t().seed(1).codigoNul("7").texto(std::string(55, 'x')).link(kParcels, 1),
        ElementBuilder::c().seed(2).records(2).link(9, 99),
        ElementBuilder::tipo('T', '-').seed(3).texto("caido").link(kParcels, 1),
        ElementBuilder::t().seed(4).codigoNul("8").texto("IGUAL").link(kStreets, 2),
    });
    const auto read = testing::parseElements(m_input);
    ASSERT_EQ(read[0].chunks().size(), 5u);
    ASSERT_EQ(output.size(), 3u);
    EXPECT_EQ(output[0].size, read[0].size - 48);
    EXPECT_EQ(output[0].texto(), "Corto");
    EXPECT_EQ(output[1].offset, output[0].size);
    EXPECT_EQ(piece(m_output, output[1]), piece(m_input, read[1]));
    EXPECT_EQ(piece(m_output, output[2]), piece(m_input, read[3]));
    EXPECT_EQ(m_output.size(), output[0].size + output[1].size + output[2].size);
    EXPECT_EQ(m_texts, 1);
}

TEST_F(RewritePassTest, EmptyTextBecomesTheDatabaseText) {
    registro("PARCELAS", 3, "  Nuevo  ");
    const auto output = runAndRead({ElementBuilder::t().link(kParcels, 3)});
    ASSERT_EQ(testing::parseElements(m_input)[0].numRegistros, 1);
    ASSERT_EQ(output.size(), 1u);
    EXPECT_EQ(output[0].numRegistros, 2);
    EXPECT_EQ(output[0].rawChunks(), asSystemWrites("Nuevo"));
    EXPECT_EQ(m_texts, 1);
}

TEST_F(RewritePassTest, LastQualifyingLinkDecides) {
    registro("PARCELAS", 1, "De parcelas");
    registro("CALLES", 1, "De calles");
    registro("CALLES", 2, "texto actual");
    const auto output = runAndRead({
        // Two tables: the later link's text is written.
        ElementBuilder::t().texto("otro").link(kParcels, 1).link(kStreets, 1),
        // Passed-over entity numbers name no table and change nothing, wherever they stand.
        ElementBuilder::t()
            .texto("otro")
            .link(1, 5)
            .link(kStreets, 1)
            .link(32765, 1)
            .link(32766, 2)
            .link(32767, 3),
        // The later link agrees with the element: nothing is replaced, though the first link differs.
        ElementBuilder::t().texto("Texto  Actual ").link(kParcels, 1).link(kStreets, 2),
        // Only passed-over links: untouched.
        ElementBuilder::t().texto("solo").link(1, 1).link(32767, 1),
    });
    ASSERT_EQ(output.size(), 4u);
    EXPECT_EQ(output[0].texto(), "De calles");
    EXPECT_EQ(output[1].texto(), "De calles");
    EXPECT_EQ(output[2].rawChunks(), testing::parseElements(m_input)[2].rawChunks());
    EXPECT_EQ(output[3].texto(), "solo");
    EXPECT_EQ(m_texts, 2);
}

TEST_F(RewritePassTest, DifferenceOnlyInCaseOrSpacingIsLeftAlone) {
    registro("PARCELAS", 1, "Camino de Santiago");
    registro("PARCELAS", 2,
             QString::fromLatin1("\xC1"
                                 "rbol"));  // Árbol
    const auto output = runAndRead({
        ElementBuilder::t().texto("CAMINO DE santiago", testing::Pad::Space).link(kParcels, 1),
        ElementBuilder::t().texto(" camino   de  SANTIAGO ").link(kParcels, 1),
        ElementBuilder::t().texto("\xE1RBOL").link(kParcels, 2),  // áRBOL
    });
    ASSERT_EQ(output.size(), 3u);
    EXPECT_EQ(m_output, m_input);
    EXPECT_EQ(m_texts, 0);
}

// Only letters have another upper form: signs one bit apart from each other ("@" and "`", "[" and "{")
// or from a letter ("Z" and "z" are one letter, "z" and "Z"+32 are not) are different texts.
TEST_F(RewritePassTest, TextsDifferingInAnAsciiSignAreRewritten) {
    registro("PARCELAS", 1, "PLAZA @1");
    registro("PARCELAS", 2, "PORTAL [2]");
    registro("PARCELAS", 3, "ZONA 7");
    const auto output = runAndRead({
        ElementBuilder::t().texto("PLAZA `1").link(kParcels, 1),
        ElementBuilder::t().texto("PORTAL {2}").link(kParcels, 2),
        ElementBuilder::t().texto("zona 7").link(kParcels, 3),
    });
    ASSERT_EQ(output.size(), 3u);
    EXPECT_EQ(output[0].rawChunks(), asSystemWrites("PLAZA @1"));
    EXPECT_EQ(output[1].rawChunks(), asSystemWrites("PORTAL [2]"));
    EXPECT_EQ(m_texts, 2);  // the third differs only in case
}

TEST_F(RewritePassTest, UnknownEntityNumberStopsAndKeepsWhatWasWritten) {
    registro("PARCELAS", 1, "Nuevo");
    const auto output = runAndRead({
        ElementBuilder::t().seed(1).texto("viejo").link(kParcels, 1),
        ElementBuilder::c().seed(2).records(1),
        ElementBuilder::t().seed(3).texto("x").link(kParcels, 1).link(12, 345).link(kStreets, 1),
        ElementBuilder::c().seed(4),
    });
    ASSERT_TRUE(m_stop.has_value());
    EXPECT_EQ(*m_stop, QStringLiteral("Hay un texto con ATR no válido :\r12  345"));
    EXPECT_EQ(m_stopIcon, core::Icon::None);
    const auto read = testing::parseElements(m_input);
    ASSERT_EQ(output.size(), 2u);
    EXPECT_EQ(output[0].texto(), "Nuevo");
    EXPECT_EQ(piece(m_output, output[1]), piece(m_input, read[1]));
}

// A table is read when a link first names it: one the database lacks ends the pass there, with the
// engine's error, and the elements before it are in the output.
TEST_F(RewritePassTest, ATableTheDatabaseLacksEndsThePassAtTheFirstLinkNamingIt) {
    constexpr std::int16_t kRivers = 9;
    m_catalog.TablasMsCatalog.push_back({QStringLiteral("RIOS"), kRivers});
    m_catalog.NumTablasMsCatalog = 3;
    registro("PARCELAS", 1, "Nuevo");
    EXPECT_THROW(run({
                     ElementBuilder::t().seed(1).texto("viejo").link(kParcels, 1),
                     ElementBuilder::t().seed(2).texto("otro").link(kStreets, 1).link(kParcels, 1),
                     ElementBuilder::t().seed(3).texto("x").link(kParcels, 1).link(kRivers, 1),
                     ElementBuilder::t().seed(4).texto("y").link(kParcels, 1),
                 }),
                 core::EngineError);
    const auto output = testing::parseElements(testing::readFile(m_dir.filePath("in_s.bin")));
    ASSERT_EQ(output.size(), 2u);
    EXPECT_EQ(output[0].texto(), "Nuevo");
    EXPECT_EQ(output[1].texto(), "Nuevo");
}

TEST_F(RewritePassTest, LinksToRecordsWithoutTextNeverEmptyTheElement) {
    registro("PARCELAS", 1, "Nuevo");
    registro("PARCELAS", 2, kNull, kNull);  // holds no text
    registro("CALLES", 1, "");              // holds the empty text
    const auto output = runAndRead({
        ElementBuilder::t().texto("viejo").link(kParcels, 404),                      // missing record
        ElementBuilder::t().texto("viejo").link(kParcels, 2),                        // no text
        ElementBuilder::t().texto("viejo").link(kParcels, 1).link(kParcels, 404),    // decided before
        ElementBuilder::t().texto("viejo").link(kParcels, 2).link(kParcels, 1),      // decided after
        ElementBuilder::t().texto("viejo").link(kParcels, 404).link(kParcels, 405),  // counted once
        ElementBuilder::t().texto("viejo").link(kStreets, 1),                        // empty is data
        ElementBuilder::t().texto("viejo").link(kParcels, 2).link(kParcels, 404),    // missing first
    });
    ASSERT_EQ(output.size(), 7u);
    EXPECT_EQ(output[0].texto(), "viejo");
    EXPECT_EQ(output[1].texto(), "viejo");
    EXPECT_EQ(output[2].texto(), "Nuevo");
    EXPECT_EQ(output[3].texto(), "Nuevo");
    EXPECT_EQ(output[4].texto(), "viejo");
    EXPECT_EQ(output[5].numRegistros, 2);
    EXPECT_EQ(output[5].rawChunks(), std::string(12, '\0'));
    EXPECT_EQ(output[6].texto(), "viejo");
    // An element that a link decided was treated, whatever its other links: it is not passed over. An
    // element passed over is counted once, a missing record before a record without text.
    EXPECT_EQ(m_report[core::PassedOver::MissingRecord], 3);
    EXPECT_EQ(m_report[core::PassedOver::RecordWithoutText], 1);
    EXPECT_EQ(m_texts, 3);
}

// The observer hears every text element: rewritten (with the new text as the database holds it) or kept,
// with the link that decided; passed over with its reason.
TEST_F(RewritePassTest, EachTextIsToldWithItsDecisionOrReason) {
    registro("PARCELAS", 1, "Nuevo");
    registro("PARCELAS", 2, "IGUAL");
    registro("CALLES", 3, kNull, kNull);
    testing::RecordingObserver told;
    m_observer = &told;
    const auto output = runAndRead({
        ElementBuilder::t().codigoSpaces(" 42 ").texto(" viejo ").link(kStreets, 3).link(kParcels, 1),
        ElementBuilder::t().texto("igual").link(kParcels, 2),
        ElementBuilder::c().records(2),
        ElementBuilder::t().texto("solo").link(1, 9).link(32767, 2),
        ElementBuilder::t().texto("roto").link(kParcels, 404),
        ElementBuilder::t().texto("vacio").link(kStreets, 3),
    });
    ASSERT_EQ(output.size(), 6u);
    const auto read = testing::parseElements(m_input);
    ASSERT_EQ(told.texts.size(), 5u);
    const testing::RecordedText& rewritten = told.texts[0];
    EXPECT_EQ(rewritten.decision, core::Decision::Rewrite);
    EXPECT_EQ(rewritten.codigo, "42");
    EXPECT_EQ(rewritten.texto, "viejo");
    EXPECT_EQ(rewritten.textoNuevo, "Nuevo");  // without the NULs that fill its chunk
    EXPECT_EQ(rewritten.tabla, "PARCELAS");
    EXPECT_EQ(rewritten.entitynum, kParcels);
    EXPECT_EQ(rewritten.registro, 1);
    EXPECT_EQ(told.texts[1].decision, core::Decision::Keep);
    EXPECT_FALSE(told.texts[1].textoNuevo.has_value());
    EXPECT_EQ(told.texts[1].registro, 2);
    const std::vector<core::PassedOver> reasons = {core::PassedOver::NoLinks, core::PassedOver::MissingRecord,
                                                   core::PassedOver::RecordWithoutText};
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        const testing::RecordedText& t = told.texts[i + 2];
        EXPECT_EQ(t.passedOver, reasons[i]);
        EXPECT_EQ(t.decision, core::Decision::None);
        EXPECT_FALSE(t.tabla.has_value());
        EXPECT_EQ(t.offset, read[i + 3].offset);
        EXPECT_EQ(m_report[reasons[i]], 1);
    }
    EXPECT_EQ(told.texts[0].offset, read[0].offset);
    EXPECT_FALSE(told.stop.has_value());
}

// A stop tells the observer where: the text element whose link names no table, or the damaged element.
TEST_F(RewritePassTest, AStopIsToldWithTheOffsetOfItsElement) {
    registro("PARCELAS", 1, "Nuevo");
    testing::RecordingObserver told;
    m_observer = &told;
    const auto first = ElementBuilder::t().texto("x").link(kParcels, 1);
    runAndRead({first, ElementBuilder::c().records(1), ElementBuilder::t().texto("y").link(12, 345)});
    ASSERT_TRUE(m_stop.has_value());
    EXPECT_EQ(told.texts.size(), 1u);
    EXPECT_EQ(told.stop, first.size() + ElementBuilder::c().records(1).size());

    testing::RecordingObserver again;
    m_observer = &again;
    m_stop.reset();
    runAndRead({first, ElementBuilder::tipo('X', '=')});
    ASSERT_TRUE(m_stop.has_value());
    EXPECT_EQ(*m_stop, QStringLiteral("Fichero Corrupto"));
    EXPECT_EQ(again.stop, first.size());
}

TEST_F(RewritePassTest, TextTooLongForAnElementStops) {
    // numRegistros is 16 bits: 32766 chunks and the first body record are the most an element holds.
    registro("PARCELAS", 1, kNull, QString(12 * 32766 - 1, QLatin1Char('a')));
    registro("PARCELAS", 2, kNull, QString(12 * 32766, QLatin1Char('b')));
    const auto output = runAndRead({
        ElementBuilder::t().texto("corto").link(kParcels, 1),
        ElementBuilder::t().texto("corto").link(kParcels, 2),
    });
    ASSERT_TRUE(m_stop.has_value());
    EXPECT_TRUE(m_stop->contains(QStringLiteral("PARCELAS"))) << m_stop->toStdString();
    ASSERT_EQ(output.size(), 1u);
    EXPECT_EQ(output[0].numRegistros, 32767);
}

TEST_F(RewritePassTest, DatabaseFileIsUnchangedByThePass) {
    registro("PARCELAS", 1, "Nuevo");
    registro("CALLES", 4, kNull, "Completo");
    m_bd->Close();
    m_bd.reset();
    QFile bd(m_bdPath);
    ASSERT_TRUE(bd.open(QIODevice::ReadOnly));
    const QByteArray before = bd.readAll();
    bd.close();

    const auto output = runAndRead({
        ElementBuilder::t().texto("viejo").link(kParcels, 1),
        ElementBuilder::t().texto("viejo").link(kStreets, 4).link(kParcels, 9),
    });
    ASSERT_EQ(output.size(), 2u);
    EXPECT_EQ(output[1].texto(), "Completo");
    ASSERT_FALSE(m_bd);
    ASSERT_TRUE(bd.open(QIODevice::ReadOnly));
    EXPECT_EQ(bd.readAll(), before);
}

}  // namespace
}  // namespace vexilo::passes
