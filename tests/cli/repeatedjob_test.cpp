// vexilo-cli procesar run twice on one sheet, as a technician repeats a job: the second job finds every
// record the first one claimed or added, whatever form of the code the table keeps, and changes nothing
// in the database.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/fileselection.h"
#include "cli/cliprocess.h"
#include "support/attributerecords.h"
#include "support/catalogfixture.h"
#include "support/dbdump.h"
#include "support/elementbuilder.h"
#include "tools/sample/sample.h"

namespace vexilo::testing {
namespace {

const QVariant N;  // Null

CliOutput process(const QString& database, const QString& drawing) {
    return runCli({QStringLiteral("procesar"), QStringLiteral("-q"), QStringLiteral("--bdd"), database,
                   QStringLiteral("--bin"), drawing});
}

// Every table's rows, one line each, so that a difference prints readably.
std::string tables(const QString& database) {
    return rowsOfEveryTable(database).join(QLatin1Char('\n')).toStdString();
}

std::vector<Rec> recordsOf(const QString& database, const QString& table) {
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(database);
    std::vector<Rec> recs = readRecords(*db, table);
    db->Close();
    return recs;
}

// PARCELA keeps its codes as numbers (the code 000301 becomes 301); TEXTOS keeps them as text, and
// already holds the number 302 as "302" and "302 " besides one record free to claim.
class RepeatedJob : public ::testing::Test {
  protected:
    void SetUp() override {
        CatalogTables t;
        t.msCatalog = {{"PARCELA", 5}, {"TEXTOS", 9}};
        t.feature = {{301, "PARCELA"}, {302, "TEXTOS"}};
        t.attributeTables = {"PARCELA"};
        auto db = engines::CreateDatabase(m_database);
        writeCatalogTables(*db, t);
        auto fields = attributeTableFields();
        fields[3].type = engines::dbText;
        makeTable(*db, "TEXTOS", fields);
        storeRecords(*db, "PARCELA", {{1, "RIO", N, N}, {2, "CASA", N, 301}});
        storeRecords(*db, "TEXTOS", {{1, "RIO", N, "302"}, {2, "MAR", N, "302 "}, {3, "SOL", N, N}});
        db->Close();

        std::vector<ElementBuilder> elements;
        const std::pair<const char*, const char*> texts[] = {
            {"000301", "RIO"}, {"000301", "CASA"}, {"000301", "NUEVO"}, {"301", "Rio"}, {"0302", "RIO"},
            {"0302", "MAR"},   {"0302", "SOL"},    {"0302", "OTRO"},    {"302", "sol"}, {"00302", "OTRO"},
        };
        std::uint8_t seed = 1;
        for (const auto& [codigo, texto] : texts) {
            elements.push_back(ElementBuilder::t().seed(seed++).codigoNul(codigo).texto(texto));
            elements.push_back(ElementBuilder::c().seed(seed++).records(1));
        }
        writeFile(m_drawing, concat(elements));
    }

    QTemporaryDir m_dir;
    QString m_database = m_dir.filePath(QStringLiteral("datos.sqlite"));
    QString m_drawing = m_dir.filePath(QStringLiteral("hoja.bin"));
};

TEST_F(RepeatedJob, CodesWithLeadingZerosTakeTheirRecordsAndTheSecondJobAddsNothing) {
    const CliOutput first = process(m_database, m_drawing);
    ASSERT_EQ(first.state, 0) << first.errors.toStdString();
    // The first job claims and takes the free records and adds one record per new text, whatever the
    // form of the code: a numeric column's 301 is 000301, a text column's "302 " is 0302.
    EXPECT_EQ(recordsOf(m_database, "PARCELA"),
              (std::vector<Rec>{{1, "RIO", N, 301}, {2, "CASA", N, 301}, {3, "NUEVO", N, 301}}));
    EXPECT_EQ(
        recordsOf(m_database, "TEXTOS"),
        (std::vector<Rec>{
            {1, "RIO", N, "302"}, {2, "MAR", N, "302 "}, {3, "SOL", N, "0302"}, {4, "OTRO", N, "302"}}));
    const std::string afterFirst = tables(m_database);
    const Bytes firstOutput = readFile(app::outputNameOf(m_drawing));

    const CliOutput second = process(m_database, m_drawing);
    ASSERT_EQ(second.state, 0) << second.errors.toStdString();
    // No record, claim or CONTROLPROCESO row more, and the same drawing.
    EXPECT_EQ(tables(m_database), afterFirst);
    EXPECT_EQ(readFile(app::outputNameOf(m_drawing)), firstOutput);
}

// The sample that `vexilo-cli demo` writes has codes with leading zeros: a repeated job on it changes
// no table.
TEST(RepeatedJobOnTheSample, TheSecondJobChangesNoTable) {
    QTemporaryDir dir;
    const sample::Result s = sample::generate(dir.path(), sample::Options{});
    ASSERT_EQ(process(s.database, s.drawing).state, 0);
    const std::string afterFirst = tables(s.database);
    const CliOutput second = process(s.database, s.drawing);
    ASSERT_EQ(second.state, 0) << second.errors.toStdString();
    EXPECT_EQ(tables(s.database), afterFirst);
}

}  // namespace
}  // namespace vexilo::testing
