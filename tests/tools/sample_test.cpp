// The sample generator: deterministic, exact in its counts, and covering the situations the passes
// decide on. The drawing is read back with the test decoder, the database with plain SQL.
#include "tools/sample/sample.h"
#include "support/dbdump.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QTemporaryDir>
#include <set>

#include "app/fileselection.h"
#include "app/rundriver.h"
#include "support/elementbuilder.h"
#include "support/recordingdisplay.h"
#include "support/testservices.h"

namespace vexilo::sample {
namespace {

using testing::ParsedElement;

QString codeOf(const ParsedElement& e) {
    return QString::fromLatin1(e.codigo.c_str()).trimmed();
}

class Sample : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir;
        Options o;
        o.elements = 3000;
        o.texts = 600;
        o.tables = 3;
        o.seed = 7;
        s_r = new Result(generate(s_dir->path(), o));
        s_elements = new std::vector<ParsedElement>(testing::parseFile(s_r->drawing));
    }
    static void TearDownTestSuite() {
        delete s_elements;
        delete s_r;
        delete s_dir;
    }
    static std::vector<const ParsedElement*> texts() {
        std::vector<const ParsedElement*> v;
        for (const auto& e : *s_elements) {
            if (e.tipo == std::string("T=")) {
                v.push_back(&e);
            }
        }
        return v;
    }
    static QTemporaryDir* s_dir;
    static Result* s_r;
    static std::vector<ParsedElement>* s_elements;
};
QTemporaryDir* Sample::s_dir = nullptr;
Result* Sample::s_r = nullptr;
std::vector<ParsedElement>* Sample::s_elements = nullptr;

TEST_F(Sample, TheSameSeedGivesTheSameFilesAndAnotherSeedAnotherDrawing) {
    QTemporaryDir other;
    Options o;
    o.elements = 3000;
    o.texts = 600;
    o.tables = 3;
    o.seed = 7;
    const Result r = generate(other.path(), o);
    EXPECT_EQ(testing::readFile(r.drawing), testing::readFile(s_r->drawing));
    EXPECT_EQ(testing::rowsOfEveryTable(r.database), testing::rowsOfEveryTable(s_r->database));

    o.seed = 8;
    const Result r8 = generate(other.filePath(QStringLiteral("otra")), o);
    EXPECT_NE(testing::readFile(r8.drawing), testing::readFile(s_r->drawing));
}

TEST_F(Sample, CountsOfEachKindOfElementAreExact) {
    ASSERT_EQ(static_cast<std::int64_t>(s_elements->size()), 3000);
    std::int64_t t = 0, c = 0, dropped = 0;
    for (const auto& e : *s_elements) {
        if (e.tipo[1] != '=') {
            ++dropped;
        } else if (e.tipo[0] == 'T') {
            ++t;
        } else {
            EXPECT_EQ(e.tipo[0], 'C');
            ++c;
        }
    }
    EXPECT_EQ(t, 600);
    EXPECT_EQ(dropped, s_r->dropped);
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(c, 3000 - 600 - dropped);
}

TEST_F(Sample, TextElementsMeetEverySituationOfTheAssignment) {
    QSet<QString> codes;
    int withoutLinks = 0, severalOfTheTable = 0, withIgnored = 0, full = 0, severalChunks = 0, odd = 0;
    int empty = 0;
    for (const ParsedElement* e : texts()) {
        codes.insert(codeOf(*e));
        std::map<int, int> byEntitynum;
        for (const auto& l : e->links) {
            ++byEntitynum[l.entitynum];
        }
        withoutLinks += e->links.empty();
        full += e->links.size() == 255;
        withIgnored += byEntitynum.count(1) > 0;
        for (const auto& [in, n] : byEntitynum) {
            severalOfTheTable += in >= 10 && n >= 2;
        }
        severalChunks += e->chunks().size() >= 3;
        const std::string texto = e->texto();
        odd += texto.find("  ") != std::string::npos || texto.find("calle") != std::string::npos ||
               texto.find("camino") != std::string::npos;
        empty += e->numRegistros == 1;
    }
    for (const char* c : {"101", "102", "103", "104", "99", "50", "900", "X12"}) {
        EXPECT_TRUE(codes.contains(QString::fromLatin1(c))) << c;
    }
    EXPECT_TRUE(codes.contains(QStringLiteral("000101")) || codes.contains(QStringLiteral("000201")) ||
                codes.contains(QStringLiteral("000301")));
    EXPECT_GT(withoutLinks, 0);
    EXPECT_GT(severalOfTheTable, 0);
    EXPECT_GT(withIgnored, 0);
    EXPECT_EQ(full, 1);
    EXPECT_GT(severalChunks, 0);
    EXPECT_GT(odd, 0);
    EXPECT_EQ(empty, 1);
}

TEST_F(Sample, EveryLinkOfATextNamesACatalogTableOrTheIgnoredEntityNumber) {
    // Otherwise the rewrite mode would stop on the sample.
    std::set<int> catalog;
    for (const QString& row : testing::rowsOfEveryTable(s_r->database)) {
        if (row.startsWith(QStringLiteral("MsCatalog|"))) {
            catalog.insert(row.section(QChar('|'), 2, 2).toInt());
        }
    }
    EXPECT_EQ(catalog.size(), 4u);  // three tables and the missing one
    for (const ParsedElement* e : texts()) {
        for (const auto& l : e->links) {
            EXPECT_TRUE(l.entitynum == 1 || catalog.count(l.entitynum)) << l.entitynum;
        }
    }
}

TEST_F(Sample, TheDatabaseHoldsCatalogsExclusionsAndTextsInEveryForm) {
    const QStringList rows = testing::rowsOfEveryTable(s_r->database);
    auto count = [&rows](const QString& prefix) {
        return std::count_if(rows.begin(), rows.end(),
                             [&](const QString& f) { return f.startsWith(prefix); });
    };
    EXPECT_EQ(count(QStringLiteral("Feature|")), 3 * 4 + 2);
    EXPECT_GT(count(QStringLiteral("Feature|104|PARCELAS|4")), 0);  // a centroid
    EXPECT_EQ(count(QStringLiteral("NoAsignar|")), 3);
    EXPECT_EQ(count(QStringLiteral("PARCELAS|")), s_r->records / 3);
    EXPECT_GT(count(QStringLiteral("CALLES|")), 0);
    // Unclaimed records, records whose text is only in tcomplet, and accented texts.
    auto has = [&rows](const QString& pattern) {
        return std::any_of(rows.begin(), rows.end(), [&](const QString& f) { return f.contains(pattern); });
    };
    EXPECT_TRUE(has(QStringLiteral("|<null>|")));
    EXPECT_TRUE(has(QStringLiteral("PEÑA")));
    // No attribute table for "Nueva": the schema check creates it.
    EXPECT_EQ(count(QStringLiteral("Nueva|")) + count(QStringLiteral("NUEVA|")), 0);
}

TEST(SampleOptions, OptionsOutOfRangeAreRefused) {
    QTemporaryDir d;
    Options o;
    o.elements = 10;
    o.texts = 11;
    EXPECT_THROW(generate(d.path(), o), std::invalid_argument);
    o.texts = 0;
    for (int tables : {-1, 100}) {
        o.tables = tables;
        EXPECT_THROW(generate(d.path(), o), std::invalid_argument);
    }
    // Three tables cannot hold 200,000 texts below the record numbers a job hands out.
    o.elements = 200'000;
    o.texts = 200'000;
    o.tables = 3;
    EXPECT_THROW(generate(d.path(), o), std::invalid_argument);
}

// Any size gives a sample the job can run: without a number of tables, there are as many as keep each
// one at 20,000 records, so the job never runs out of record numbers below 60000.
TEST(SampleOptions, TablesScaleWithTheTextsSoThatTheJobCanRunOnAnySize) {
    QTemporaryDir d;
    Options o;
    o.elements = 100'000;
    o.texts = 100'000;
    const Result r = generate(d.path(), o);
    std::set<QString> tables;
    for (const QString& row : testing::rowsOfEveryTable(r.database)) {
        if (row.startsWith(QStringLiteral("MsCatalog|"))) {
            tables.insert(row.section(QChar('|'), 1, 1));
        }
    }
    EXPECT_EQ(tables.size(), 6u);  // five tables and the missing one
    EXPECT_LE(r.records, 5 * kAutoRecordsPerTable);

    testing::TestServices services;
    desktop::ScopedServices scoped(services);
    testing::RecordingDisplay display;
    app::Session session;
    session.NombreBdD = r.database;
    session.NombreBin = r.drawing;
    session.NombreBinSalida = app::outputNameOf(r.drawing);
    const core::RunOutcome end = app::Command1_Click(session, display, app::Mode::No);
    EXPECT_EQ(end.kind, core::RunOutcome::Kind::Finished) << end.message.toStdString();
}

}  // namespace
}  // namespace vexilo::sample
