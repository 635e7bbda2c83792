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

QString codigoDe(const ParsedElement& e) {
    return QString::fromLatin1(e.codigo.c_str()).trimmed();
}

class Muestra : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir;
        Options o;
        o.elements = 3000;
        o.texts = 600;
        o.tables = 3;
        o.seed = 7;
        s_r = new Result(genera(s_dir->path(), o));
        s_elementos = new std::vector<ParsedElement>(testing::parseFile(s_r->drawing));
    }
    static void TearDownTestSuite() {
        delete s_elementos;
        delete s_r;
        delete s_dir;
    }
    static std::vector<const ParsedElement*> textos() {
        std::vector<const ParsedElement*> v;
        for (const auto& e : *s_elementos) {
            if (e.tipo == std::string("T=")) {
                v.push_back(&e);
            }
        }
        return v;
    }
    static QTemporaryDir* s_dir;
    static Result* s_r;
    static std::vector<ParsedElement>* s_elementos;
};
QTemporaryDir* Muestra::s_dir = nullptr;
Result* Muestra::s_r = nullptr;
std::vector<ParsedElement>* Muestra::s_elementos = nullptr;

TEST_F(Muestra, TheSameSeedGivesTheSameFilesAndAnotherSeedAnotherDrawing) {
    QTemporaryDir otra;
    Options o;
    o.elements = 3000;
    o.texts = 600;
    o.tables = 3;
    o.seed = 7;
    const Result r = genera(otra.path(), o);
    EXPECT_EQ(testing::readFile(r.drawing), testing::readFile(s_r->drawing));
    EXPECT_EQ(testing::rowsOfEveryTable(r.database), testing::rowsOfEveryTable(s_r->database));

    o.seed = 8;
    const Result r8 = genera(otra.filePath(QStringLiteral("otra")), o);
    EXPECT_NE(testing::readFile(r8.drawing), testing::readFile(s_r->drawing));
}

TEST_F(Muestra, CountsOfEachKindOfElementAreExact) {
    ASSERT_EQ(static_cast<std::int64_t>(s_elementos->size()), 3000);
    std::int64_t t = 0, c = 0, descartados = 0;
    for (const auto& e : *s_elementos) {
        if (e.tipo[1] != '=') {
            ++descartados;
        } else if (e.tipo[0] == 'T') {
            ++t;
        } else {
            EXPECT_EQ(e.tipo[0], 'C');
            ++c;
        }
    }
    EXPECT_EQ(t, 600);
    EXPECT_EQ(descartados, s_r->dropped);
    EXPECT_GT(descartados, 0);
    EXPECT_EQ(c, 3000 - 600 - descartados);
}

TEST_F(Muestra, TextElementsMeetEverySituationOfTheAssignment) {
    QSet<QString> codigos;
    int sinEnlaces = 0, variosDeLaTabla = 0, conIgnorado = 0, llenos = 0, variosTrozos = 0, raros = 0;
    int vacios = 0;
    for (const ParsedElement* e : textos()) {
        codigos.insert(codigoDe(*e));
        std::map<int, int> porEntitynum;
        for (const auto& l : e->enlaces) {
            ++porEntitynum[l.entitynum];
        }
        sinEnlaces += e->enlaces.empty();
        llenos += e->enlaces.size() == 255;
        conIgnorado += porEntitynum.count(1) > 0;
        for (const auto& [en, n] : porEntitynum) {
            variosDeLaTabla += en >= 10 && n >= 2;
        }
        variosTrozos += e->trozos().size() >= 3;
        const std::string texto = e->texto();
        raros += texto.find("  ") != std::string::npos || texto.find("calle") != std::string::npos ||
                 texto.find("camino") != std::string::npos;
        vacios += e->numRegistros == 1;
    }
    for (const char* c : {"101", "102", "103", "104", "99", "50", "900", "X12"}) {
        EXPECT_TRUE(codigos.contains(QString::fromLatin1(c))) << c;
    }
    EXPECT_TRUE(codigos.contains(QStringLiteral("000101")) || codigos.contains(QStringLiteral("000201")) ||
                codigos.contains(QStringLiteral("000301")));
    EXPECT_GT(sinEnlaces, 0);
    EXPECT_GT(variosDeLaTabla, 0);
    EXPECT_GT(conIgnorado, 0);
    EXPECT_EQ(llenos, 1);
    EXPECT_GT(variosTrozos, 0);
    EXPECT_GT(raros, 0);
    EXPECT_EQ(vacios, 1);
}

TEST_F(Muestra, EveryLinkOfATextNamesACatalogTableOrTheIgnoredEntityNumber) {
    // Otherwise the rewrite mode would stop on the sample.
    std::set<int> catalogo;
    for (const QString& fila : testing::rowsOfEveryTable(s_r->database)) {
        if (fila.startsWith(QStringLiteral("MsCatalog|"))) {
            catalogo.insert(fila.section(QChar('|'), 2, 2).toInt());
        }
    }
    EXPECT_EQ(catalogo.size(), 4u);  // three tables and the missing one
    for (const ParsedElement* e : textos()) {
        for (const auto& l : e->enlaces) {
            EXPECT_TRUE(l.entitynum == 1 || catalogo.count(l.entitynum)) << l.entitynum;
        }
    }
}

TEST_F(Muestra, TheDatabaseHoldsCatalogsExclusionsAndTextsInEveryForm) {
    const QStringList filas = testing::rowsOfEveryTable(s_r->database);
    auto cuenta = [&filas](const QString& prefijo) {
        return std::count_if(filas.begin(), filas.end(),
                             [&](const QString& f) { return f.startsWith(prefijo); });
    };
    EXPECT_EQ(cuenta(QStringLiteral("Feature|")), 3 * 4 + 2);
    EXPECT_GT(cuenta(QStringLiteral("Feature|104|PARCELAS|4")), 0);  // a centroid
    EXPECT_EQ(cuenta(QStringLiteral("NoAsignar|")), 3);
    EXPECT_EQ(cuenta(QStringLiteral("PARCELAS|")), s_r->records / 3);
    EXPECT_GT(cuenta(QStringLiteral("CALLES|")), 0);
    // Unclaimed records, records whose text is only in tcomplet, and accented texts.
    auto hay = [&filas](const QString& patron) {
        return std::any_of(filas.begin(), filas.end(), [&](const QString& f) { return f.contains(patron); });
    };
    EXPECT_TRUE(hay(QStringLiteral("|<null>|")));
    EXPECT_TRUE(hay(QStringLiteral("PEÑA")));
    // No attribute table for "Nueva": the schema check creates it.
    EXPECT_EQ(cuenta(QStringLiteral("Nueva|")) + cuenta(QStringLiteral("NUEVA|")), 0);
}

TEST(MuestraOpciones, OptionsOutOfRangeAreRefused) {
    QTemporaryDir d;
    Options o;
    o.elements = 10;
    o.texts = 11;
    EXPECT_THROW(genera(d.path(), o), std::invalid_argument);
    o.texts = 0;
    for (int tables : {-1, 100}) {
        o.tables = tables;
        EXPECT_THROW(genera(d.path(), o), std::invalid_argument);
    }
    // Three tables cannot hold 200,000 texts below the record numbers a job hands out.
    o.elements = 200'000;
    o.texts = 200'000;
    o.tables = 3;
    EXPECT_THROW(genera(d.path(), o), std::invalid_argument);
}

// Any size gives a sample the job can run: without a number of tables, there are as many as keep each
// one at 20,000 records, so the job never runs out of record numbers below 60000.
TEST(MuestraOpciones, TablesScaleWithTheTextsSoThatTheJobCanRunOnAnySize) {
    QTemporaryDir d;
    Options o;
    o.elements = 100'000;
    o.texts = 100'000;
    const Result r = genera(d.path(), o);
    std::set<QString> tablas;
    for (const QString& fila : testing::rowsOfEveryTable(r.database)) {
        if (fila.startsWith(QStringLiteral("MsCatalog|"))) {
            tablas.insert(fila.section(QChar('|'), 1, 1));
        }
    }
    EXPECT_EQ(tablas.size(), 6u);  // five tables and the missing one
    EXPECT_LE(r.records, 5 * kAutoRecordsPerTable);

    testing::TestServices services;
    platform::ScopedServices scoped(services);
    testing::RecordingDisplay display;
    core::RunState f;
    f.display = &display;
    f.NombreBdD = r.database;
    f.NombreBin = r.drawing;
    f.NombreBinSalida = app::nombreDeSalida(r.drawing);
    const core::RunOutcome fin = app::Command1_Click(f, app::Modo::No);
    EXPECT_EQ(fin.kind, core::RunOutcome::Kind::Finished) << fin.message.toStdString();
}

}  // namespace
}  // namespace vexilo::sample
