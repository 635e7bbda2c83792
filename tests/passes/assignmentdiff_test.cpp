// The assignment pass against a plain reference on random small maps and databases: the reference
// follows the pass and the record writer step by step, scanning each attribute table through a
// recordset for every element, renumbering through a filtered query and numbering through the sorted
// one, and storing the code back into the element after every call. Both must leave the same output
// bytes, the same attribute records and the same log, and stop at the same element.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <optional>
#include <random>

#include "catalog/attributeindex.h"
#include "catalog/catalogcache.h"
#include "core/normalisation.h"
#include "drawing/codepage.h"
#include "engines/dao.h"
#include "passes/assignmentpass.h"
#include "schema/runlog.h"
#include "tests/support/attributerecords.h"
#include "tests/support/catalogfixture.h"
#include "tests/support/elementbuilder.h"

namespace vexilo::passes {
namespace {

using engines::dbOpenDynaset;
using engines::dbOpenSnapshot;
using engines::Query;
using testing::Bytes;
using testing::ElementBuilder;
using testing::ParsedElement;
using testing::Rec;

// ---- The reference: the record writer as a scan over recordsets ----

// What the reference keeps for one job: the plain pass it models kept every value of the element it was
// on beside the job's, all in one place.
struct RefState {
    engines::Database* Bd = nullptr;
    const catalog::Catalog* catalog = nullptr;
    schema::RunLog* log = nullptr;
    core::RunReport report;
    QString NombreBin;
    QString NombreBinSalida;
    bool MantenerAsignaciones = false;
    QString NombreTablaActual;
    std::int32_t EntitynumActual = 0;
    std::int32_t RegistroGrafico = 0;
    std::int32_t TextosProcesados = 0;
};

QString trimSpaces(const QString& s) {
    QString out = s;
    while (out.startsWith(' ')) {
        out.remove(0, 1);
    }
    while (out.endsWith(' ')) {
        out.chop(1);
    }
    return out;
}

// The whole number a code or a Tfeature reads as: spaces trimmed, an optional sign, decimal digits,
// within 32 bits. Written here on its own, not taken from the catalog.
std::optional<qint64> refWhole(const QString& s) {
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    const QString t = trimSpaces(s);
    if (!digits.match(t).hasMatch()) {
        return std::nullopt;
    }
    const bool negative = t.startsWith('-');
    QString magnitude = t.mid(t.startsWith('+') || negative ? 1 : 0);
    while (magnitude.size() > 1 && magnitude.startsWith('0')) {
        magnitude.remove(0, 1);
    }
    if (magnitude.size() > 10) {
        return std::nullopt;
    }
    const qint64 n = negative ? -magnitude.toLongLong() : magnitude.toLongLong();
    if (n < -2147483648LL || n > 2147483647LL) {
        return std::nullopt;
    }
    return n;
}

// A record belongs to the element's code when its Tfeature is the code's text or the same whole number.
bool refSameCode(const QString& tfeature, const QString& codigo) {
    const std::optional<qint64> a = refWhole(tfeature);
    return tfeature == codigo || (a && a == refWhole(codigo));
}

void refFind(RefState& f, QString& codigoKora, const QString& table, QString& texto, std::int32_t& registro) {
    core::limpia_texto(codigoKora);
    core::limpia_texto(texto);
    auto rs = f.Bd->OpenRecordset(Query::all(table), dbOpenDynaset);
    registro = 0;
    if (rs->RecordCount() > 0) {
        rs->MoveFirst();
        while (!rs->Eof()) {
            const QVariant tmapa = rs->Value("tmapa");
            const QVariant v = tmapa.isNull() || tmapa.toString() == "" ? rs->Value("tcomplet") : tmapa;
            // A record without text or without number holds no text.
            if (!v.isNull() && !rs->Value("mslink").isNull() &&
                trimSpaces(v.toString()).toUpper() == texto.toUpper()) {
                if (rs->Value("Tfeature").isNull()) {
                    rs->Edit();
                    rs->SetValue("Tfeature", codigoKora);
                    rs->Update();
                }
                if (refSameCode(rs->Value("Tfeature").toString(), codigoKora)) {
                    registro = rs->Value("mslink").toInt();
                    rs->MoveLast();
                }
            }
            rs->MoveNext();
        }
    }
    rs->Close();
}

void refAdd(RefState& f, QString& codigo, const QString& table, const QString& texto,
            std::int32_t& registro) {
    core::limpia_texto(codigo);
    auto rs = f.Bd->OpenRecordset(Query::mslinkBelow(table, catalog::kNumberingLimit), dbOpenSnapshot);
    std::int32_t n = 0;
    if (f.MantenerAsignaciones && f.RegistroGrafico != 0) {
        n = f.RegistroGrafico;
    } else if (rs->RecordCount() == 0) {
        n = 1;
    } else {
        rs->MoveLast();
        n = rs->Value("mslink").toInt() + 1;
        if (n >= 60000) {
            throw core::Stop("sin números");
        }
    }
    rs->Close();
    auto t = f.Bd->OpenRecordset(Query::table(table), dbOpenDynaset);
    t->AddNew();
    t->SetValue("mslink", n);
    t->SetValue("tmapa", texto);
    t->SetValue("Tfeature", codigo.toInt());
    t->Update();
    t->Close();
    registro = n;
}

void refModify(RefState& f, const QString& table, std::int32_t& registro, std::int32_t fresh) {
    auto rs = f.Bd->OpenRecordset(Query::mslinkEquals(table, registro), dbOpenDynaset);
    if (rs->RecordCount() == 0) {
        throw core::Stop("sin registro");
    }
    rs->MoveFirst();
    rs->Edit();
    rs->SetValue("mslink", fresh);
    rs->Update();
    rs->Close();
    registro = fresh;
}

// ---- The reference pass over the decoded elements ----

QString decode(const std::string& raw) {
    return drawing::codepage::decode(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
}

// Stores the code copy back into the 7-character field and takes a fresh copy of it, as the pass does
// after every call that receives the code.
void storeBack(ParsedElement& e, QString& codigo) {
    QByteArray bytes = drawing::codepage::encode(codigo).left(7);
    bytes.append(QByteArray(7 - bytes.size(), ' '));
    e.codigo = bytes.toStdString();
    codigo = decode(e.codigo);
}

void refText(RefState& f, ParsedElement& e) {
    QString codigo = decode(e.codigo);
    f.NombreTablaActual = catalog::busca_Feature(*f.catalog, codigo).NombreTabla;
    storeBack(e, codigo);
    f.EntitynumActual = 0;
    if (!f.NombreTablaActual.isEmpty()) {
        f.EntitynumActual = catalog::busca_entitynum(*f.catalog, f.NombreTablaActual);
    }
    QString texto = decode(e.rawChunks());
    core::limpia_texto(texto);
    core::quitablancos(texto);
    if (f.EntitynumActual > 0) {
        ++f.TextosProcesados;
        std::int32_t registro = 0;
        refFind(f, codigo, f.NombreTablaActual, texto, registro);
        storeBack(e, codigo);
        f.RegistroGrafico = 0;
        bool has = false;
        for (const auto& l : e.links) {
            if (l.entitynum == f.EntitynumActual) {
                has = true;
                f.RegistroGrafico = l.mslink;
            }
        }
        if (registro == 0) {
            refAdd(f, codigo, f.NombreTablaActual, texto, registro);
            storeBack(e, codigo);
        }
        schema::AnadeAControlProceso(*f.log, f.NombreTablaActual, registro, f.NombreBin, texto,
                                     f.RegistroGrafico);
        bool linked = false;
        for (const auto& l : e.links) {
            linked = linked || (l.entitynum == f.EntitynumActual && l.mslink == registro);
        }
        if (!linked && !has) {
            if (e.links.size() == 255) {
                f.report.count(core::PassedOver::FullLinks);
            } else if (f.EntitynumActual > 32767) {
                f.report.count(core::PassedOver::EntitynumOutOfRange);
            } else {
                e.links.push_back({static_cast<std::int16_t>(f.EntitynumActual), registro, {}});
                e.links.back().reservado.fill(' ');
                ++e.numEnlaces;
            }
        } else if (!linked && f.MantenerAsignaciones) {
            refModify(f, f.NombreTablaActual, registro, f.RegistroGrafico);
        } else if (!linked) {
            for (auto& l : e.links) {
                if (l.entitynum == f.EntitynumActual) {
                    l.mslink = registro;
                }
            }
        }
        schema::AnadeAControlProceso(*f.log, f.NombreTablaActual, registro, f.NombreBinSalida, texto,
                                     registro);
    }
    core::completa_codigo(codigo);
    storeBack(e, codigo);
}

void put16(Bytes& out, std::int16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xff));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
}

void put32(Bytes& out, std::int32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xff));
    }
}

void serialize(const ParsedElement& e, Bytes& out) {
    out.insert(out.end(), e.tipo.begin(), e.tipo.end());
    out.insert(out.end(), e.codigo.begin(), e.codigo.end());
    out.push_back(e.numEnlaces);
    put16(out, e.numRegistros);
    out.insert(out.end(), e.block.begin(), e.block.end());
    for (const auto& r : e.body) {
        out.insert(out.end(), r.begin(), r.end());
    }
    for (const auto& l : e.links) {
        put16(out, l.entitynum);
        put32(out, l.mslink);
        out.insert(out.end(), l.reservado.begin(), l.reservado.end());
    }
}

// Runs the reference pass; the output holds every element written before a stop.
void refPass(RefState& f, const Bytes& input, Bytes& output) {
    f.TextosProcesados = 0;
    for (ParsedElement e : testing::parseElements(input)) {
        if (e.tipo[1] != '=') {
            continue;
        }
        if (e.tipo[0] == 'T') {
            refText(f, e);
        }
        serialize(e, output);
    }
}

// ---- Random maps and databases ----

const std::vector<QString> kTables = {"PARCELA", "CALLES", "TEXTOS"};

testing::CatalogTables catalog() {
    testing::CatalogTables t;
    t.msCatalog = {{"PARCELA", 5}, {"CALLES", 7}, {"TEXTOS", 9}};
    t.feature = {{123, "PARCELA"}, {124, "PARCELA"}, {456, "CALLES"}, {789, "TEXTOS"}};
    t.attributeTables = {"PARCELA", "CALLES"};
    return t;
}

struct Sample {
    std::vector<std::vector<Rec>> records;  // per table of kTables
    std::vector<ElementBuilder> elements;
    bool keep = false;
};

Sample randomSample(std::uint32_t seed) {
    std::mt19937 rng(seed);
    auto pick = [&rng](const auto& v) {
        return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)];
    };
    auto chance = [&rng](int percent) { return std::uniform_int_distribution<int>(0, 99)(rng) < percent; };
    const std::vector<QVariant> texts = {"Rio",   "RIO",          " rio ",       "Sol", "Mar",
                                         "mar  ", "Calle  Mayor", "calle mayor", "",    QVariant()};
    // One code in several forms: a number, a text with zeros, spaces or a sign (kept as written only by
    // the text column of TEXTOS).
    const std::vector<QVariant> codes = {QVariant(), QVariant(), 123,    124,     456,   789,
                                         "0789",     7,          "789 ", "00456", "+124"};
    const std::vector<QVariant> numbers = {1, 2, 3, 4, 5, 6, 7, 8, 60001, 60000, 59997, QVariant()};
    Sample s;
    s.keep = chance(50);
    for (std::size_t t = 0; t < kTables.size(); ++t) {
        std::vector<Rec> recs(std::uniform_int_distribution<int>(0, 14)(rng));
        for (Rec& r : recs) {
            r = {pick(numbers), pick(texts), chance(40) ? pick(texts) : QVariant(), pick(codes)};
        }
        s.records.push_back(recs);
    }
    const std::vector<std::string> elementCodes = {"123",  "0123", "124",  "456",   "789",
                                                   "0789", "999",  " 123", "00456", "000789"};
    const std::vector<std::string> elementTexts = {"Rio",         "rio",          "  RIO ", "Sol",  "mar",
                                                   "Calle Mayor", "Calle  Mayor", "Nuevo",  "Otro", ""};
    const std::vector<std::int16_t> entities = {5, 7, 9, 1};
    const std::vector<std::int32_t> targets = {1, 2, 3, 4, 5, 6, 8, 100, 1234};
    const int count = std::uniform_int_distribution<int>(1, 60)(rng);
    for (int i = 0; i < count; ++i) {
        const auto seedByte = static_cast<std::uint8_t>(i * 7 + 1);
        if (chance(10)) {
            s.elements.push_back(ElementBuilder::c().records(i % 3).seed(seedByte));
            continue;
        }
        ElementBuilder b = chance(8) ? ElementBuilder::tipo('T', '-') : ElementBuilder::t();
        b.seed(seedByte).codigoNul(pick(elementCodes)).texto(pick(elementTexts));
        const int links = std::uniform_int_distribution<int>(0, 3)(rng);
        for (int l = 0; l < links; ++l) {
            b.link(pick(entities), pick(targets));
        }
        s.elements.push_back(b);
    }
    return s;
}

// One side of the comparison: a database with the sample's records, checked as a run checks it.
struct Side {
    Side(const Sample& s, testing::Engine engine) : run(engine, catalog()) {
        // TEXTOS keeps its codes as text, so a code written with leading zeros reads back as written.
        auto fields = testing::attributeTableFields();
        fields[3].type = engines::dbText;
        run.Bd->BeginTrans();
        testing::makeTable(*run.Bd, "TEXTOS", fields);
        for (std::size_t t = 0; t < kTables.size(); ++t) {
            testing::storeRecords(*run.Bd, kTables[t], s.records[t]);
        }
        run.Bd->CommitTrans();
        run.check();
        keep = s.keep;
        NombreBin = run.dir.filePath("mapa.bin");
        NombreBinSalida = run.dir.filePath("mapa_s.bin");
    }
    testing::CatalogRun run;
    bool keep = false;
    QString NombreBin;
    QString NombreBinSalida;
    bool stopped = false;
    std::int64_t texts = 0;
    std::int64_t fullLinks = 0;
};

// The log with the two drawing paths (each side has its own folder) named by their role.
std::vector<testing::LogRow> logOf(engines::Database& db, const Side& f) {
    std::vector<testing::LogRow> rows = testing::readLog(db);
    for (auto& r : rows) {
        r.file = r.file == f.NombreBin ? "entrada" : r.file == f.NombreBinSalida ? "salida" : r.file;
    }
    return rows;
}

// What a side leaves: the output drawing, the counts, every attribute record and the log.
struct Outcome {
    bool stopped = false;
    Bytes output;
    std::int64_t texts = 0;
    std::int64_t fullLinks = 0;
    std::vector<std::vector<Rec>> records;
    std::vector<testing::LogRow> log;
};

Outcome outcomeOf(Side& side, const Bytes& output) {
    Outcome o{side.stopped, output, side.texts, side.fullLinks, {}, {}};
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(side.run.path);
    for (const QString& table : kTables) {
        o.records.push_back(testing::readRecords(*db, table));
    }
    o.log = logOf(*db, side);
    db->Close();
    return o;
}

void expectSame(const Outcome& a, const Outcome& b) {
    EXPECT_EQ(a.stopped, b.stopped);
    EXPECT_EQ(a.output, b.output);
    EXPECT_EQ(a.texts, b.texts);
    EXPECT_EQ(a.fullLinks, b.fullLinks);
    for (std::size_t t = 0; t < kTables.size(); ++t) {
        EXPECT_EQ(a.records[t], b.records[t]) << kTables[t].toStdString();
    }
    EXPECT_EQ(a.log, b.log);
}

Outcome runIndexed(const Sample& s, testing::Engine engine) {
    const Bytes input = testing::concat(s.elements);
    Side indexed(s, engine);
    testing::writeFile(indexed.NombreBin, input);
    {
        drawing::BinReader file1(indexed.NombreBin);
        drawing::BinWriter file3(indexed.NombreBinSalida);
        core::Progress progress{&indexed.run.display};
        core::RunReport report;
        PassView view{progress, report};
        const AssignmentInputs inputs{indexed.run.catalog, indexed.run.records(),   indexed.run.log(),
                                      indexed.NombreBin,   indexed.NombreBinSalida, indexed.keep};
        try {
            LeoBinEntrada(inputs, view, file1, file3);
        } catch (const core::Stop&) {
            indexed.stopped = true;
        }
        file3.close();
        indexed.texts = view.TextosProcesados;
        indexed.fullLinks = report[core::PassedOver::FullLinks];
    }
    indexed.run.close();
    return outcomeOf(indexed, testing::readFile(indexed.NombreBinSalida));
}

Outcome runPlain(const Sample& s, testing::Engine engine) {
    Side plain(s, engine);
    Bytes expected;
    plain.run.Bd->BeginTrans();  // grouping changes nothing but the number of disk syncs
    RefState f;
    f.Bd = plain.run.Bd.get();
    f.catalog = &plain.run.catalog;
    f.log = &plain.run.log();
    f.NombreBin = plain.NombreBin;
    f.NombreBinSalida = plain.NombreBinSalida;
    f.MantenerAsignaciones = plain.keep;
    try {
        refPass(f, testing::concat(s.elements), expected);
    } catch (const core::Stop&) {
        plain.stopped = true;
    }
    plain.texts = f.TextosProcesados;
    plain.fullLinks = f.report[core::PassedOver::FullLinks];
    plain.run.Bd->CommitTrans();
    plain.run.close();
    return outcomeOf(plain, expected);
}

class AssignmentAgainstPlainScan : public ::testing::TestWithParam<testing::Engine> {};

TEST_P(AssignmentAgainstPlainScan, SameOutputRecordsAndLogOnRandomMaps) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        const Sample s = randomSample(seed);
        expectSame(runIndexed(s, GetParam()), runPlain(s, GetParam()));
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, AssignmentAgainstPlainScan,
                         ::testing::Values(testing::Engine::Sqlite, testing::Engine::Postgres),
                         [](const auto& info) {
                             return info.param == testing::Engine::Sqlite ? "SQLite" : "PostgreSQL";
                         });

// The server gives the same drawing, records and log as the embedded engine.
TEST(AssignmentOnBothEngines, TheServerLeavesWhatTheEmbeddedEngineLeaves) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        const Sample s = randomSample(seed);
        expectSame(runIndexed(s, testing::Engine::Postgres), runIndexed(s, testing::Engine::Sqlite));
    }
}

}  // namespace
}  // namespace vexilo::passes
