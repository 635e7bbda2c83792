#include "tools/sample/sample.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <array>
#include <memory>
#include <stdexcept>

#include "drawing/binfile.h"
#include "drawing/codepage.h"
#include "engines/dao.h"
#include "engines/databasename.h"
#include "engines/publication.h"
#include "engines/publish.h"
#include "engines/replacement.h"

namespace vexilo::sample {
namespace {

using drawing::EnlaceAtributo;
using drawing::Record12;
using engines::FieldValues;
namespace layout = drawing::layout;

// splitmix64: small, fast and the same on every platform and library, unlike the standard
// distributions, whose results the standard leaves to each library.
class Random {
  public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::int64_t below(std::int64_t n) { return n <= 0 ? 0 : static_cast<std::int64_t>(next() % n); }
    int percent() { return static_cast<int>(below(100)); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }

  private:
    std::uint64_t m_state;
};

constexpr std::array kTableNames{"PARCELAS", "CALLES",  "RIOS",    "MONTES",  "PUEBLOS",
                                 "CAMINOS",  "FUENTES", "PARAJES", "ARROYOS", "LOMAS"};
constexpr std::array kPrefixes{"CALLE", "AVENIDA", "CAMINO",   "PLAZA", "ARROYO",
                               "CERRO", "FUENTE",  "BARRANCO", "LOMA",  "PARAJE"};
constexpr std::array kNames{"MAYOR", "DEL MOLINO", "DE LA PEÑA", "SAN JOSÉ",    "LOS ÁLAMOS",
                            "REAL",  "NUEVA",      "DEL RÍO",    "LAS ENCINAS", "EL PINAR"};

constexpr std::int32_t kCodeWithoutFeature = 99;  // no Feature row has this mslink
constexpr std::int32_t kCodeWithoutCatalog = 50;  // Feature row whose table MsCatalog does not list
constexpr std::int32_t kNewTableCode = 900;       // table listed in MsCatalog, missing from the database
constexpr std::int32_t kIgnoredEntitynum = 1;     // the rewrite pass passes over this entity number
const QString kNewTable = QStringLiteral("Nueva");
const QString kTableWithoutCatalog = QStringLiteral("SINCATALOGO");

QString tableName(int i) {
    if (i < static_cast<int>(kTableNames.size())) {
        return QString::fromLatin1(kTableNames[i]);
    }
    return QStringLiteral("TABLA%1").arg(i + 1, 2, 10, QChar('0'));
}

// Codes of table i: main, second, excluded (listed in NoAsignar), centroid (ftype 4).
std::int32_t mainCode(int i) {
    return 100 * (i + 1) + 1;
}
std::int32_t secondCode(int i) {
    return 100 * (i + 1) + 2;
}
std::int32_t excludedCode(int i) {
    return 100 * (i + 1) + 3;
}
std::int32_t centroidCode(int i) {
    return 100 * (i + 1) + 4;
}
std::int32_t entitynumOf(int i) {
    return 10 + i;
}

// The text of record k (1-based) of any table: unique per table through its number, accented in part,
// long enough in part to take several chunks.
QString recordText(std::int64_t k) {
    QString t = QStringLiteral("%1 %2 %3")
                    .arg(QString::fromUtf8(kPrefixes[k % kPrefixes.size()]),
                         QString::fromUtf8(kNames[(k / 10) % kNames.size()]))
                    .arg(k);
    if (k % 17 == 0) {
        t += QStringLiteral(" (TRAMO ANTIGUO)");
    }
    return t;
}

struct Context {
    const Options& o;
    std::int64_t records = 0;  // records per table
    int tables = 0;
    Random random;
};

// ---- database ----

engines::TableDef attributeTable(const QString& name) {
    engines::TableDef def(name);
    def.Append(engines::TableDef::CreateField(QStringLiteral("MsLink"), engines::dbLong));
    def.Append(engines::TableDef::CreateField(QStringLiteral("tcomplet"), engines::dbText));
    def.Append(engines::TableDef::CreateField(QStringLiteral("tmapa"), engines::dbText, 100));
    def.Append(engines::TableDef::CreateField(QStringLiteral("tfeature"), engines::dbLong));
    def.Append(engines::TableDef::CreateField(QStringLiteral("clasific"), engines::dbInteger));
    return def;
}

void createCatalogs(engines::Database& bd, const Context& c) {
    engines::TableDef ms(QStringLiteral("MsCatalog"));
    ms.Append(engines::TableDef::CreateField(QStringLiteral("tablename"), engines::dbText, 64));
    ms.Append(engines::TableDef::CreateField(QStringLiteral("entitynum"), engines::dbLong));
    bd.AppendTableDef(ms);
    engines::TableDef fe(QStringLiteral("Feature"));
    fe.Append(engines::TableDef::CreateField(QStringLiteral("mslink"), engines::dbLong));
    fe.Append(engines::TableDef::CreateField(QStringLiteral("tablename"), engines::dbText, 64));
    fe.Append(engines::TableDef::CreateField(QStringLiteral("ftype"), engines::dbInteger));
    bd.AppendTableDef(fe);
    engines::TableDef na(QStringLiteral("NoAsignar"));
    na.Append(engines::TableDef::CreateField(QStringLiteral("mslink"), engines::dbLong));
    bd.AppendTableDef(na);

    auto feature = [&bd](std::int32_t codigo, const QString& table, int ftype) {
        bd.InsertRow(QStringLiteral("Feature"), {{QStringLiteral("mslink"), codigo},
                                                 {QStringLiteral("tablename"), table},
                                                 {QStringLiteral("ftype"), ftype}});
    };
    for (int i = 0; i < c.tables; ++i) {
        // Names stored with surrounding spaces in part: the catalog cache trims them.
        QString name = i % 3 == 2 ? QStringLiteral(" %1 ").arg(tableName(i)) : tableName(i);
        bd.InsertRow(QStringLiteral("MsCatalog"),
                     {{QStringLiteral("tablename"), name}, {QStringLiteral("entitynum"), entitynumOf(i)}});
        feature(mainCode(i), tableName(i), 2);
        feature(secondCode(i), tableName(i), 2);
        feature(excludedCode(i), tableName(i), 2);
        feature(centroidCode(i), tableName(i), 4);
        bd.InsertRow(QStringLiteral("NoAsignar"), {{QStringLiteral("mslink"), excludedCode(i)}});
    }
    bd.InsertRow(QStringLiteral("MsCatalog"), {{QStringLiteral("tablename"), kNewTable},
                                               {QStringLiteral("entitynum"), entitynumOf(c.tables)}});
    feature(kNewTableCode, kNewTable, 2);
    feature(kCodeWithoutCatalog, kTableWithoutCatalog, 2);
}

// Record k's owner and where its text lives, drawn once per record.
FieldValues registro(Context& c, int table, std::int64_t k) {
    // Every fiftieth record repeats the text of the one before it: the first one that qualifies wins.
    QString texto = recordText(k % 50 == 0 && k > 1 ? k - 1 : k);
    QVariant tmapa = texto;
    QVariant tcomplet = texto;
    QVariant tfeature = mainCode(table);
    int p = c.random.percent();
    if (p < 50) {
        // owned by the main code
    } else if (p < 80) {
        tfeature = QVariant();  // unclaimed: the first text found claims it
    } else if (p < 88) {
        tfeature = secondCode(table);
    } else if (p < 94) {
        tmapa = QVariant();  // the text only in tcomplet
        tfeature = QVariant();
    } else if (p < 97) {
        tmapa = QString();  // an empty tmapa is compared through tcomplet too
    } else {
        tfeature = excludedCode(table);  // belongs to another code: passed over
    }
    return {{QStringLiteral("MsLink"), static_cast<qint64>(k)},
            {QStringLiteral("tcomplet"), tcomplet},
            {QStringLiteral("tmapa"), tmapa},
            {QStringLiteral("tfeature"), tfeature},
            {QStringLiteral("clasific"), static_cast<int>(k % 5)}};
}

// A new database for the sample: a file is created anew; a server database is created (`created` then
// says so) or, when it exists, taken only while it holds no table.
std::unique_ptr<engines::Database> newDatabase(const QString& name, bool& created) {
    if (!engines::isServerDatabase(name)) {
        QFile::remove(name);
        created = true;
        return engines::CreateDatabase(name);
    }
    try {
        std::unique_ptr<engines::Database> bd = engines::CreateDatabase(name);
        created = true;
        return bd;
    } catch (const core::EngineError& e) {
        if (e.number() != engines::errnum::kDatabaseExists) {
            throw;
        }
    }
    auto bd = engines::DBEngine::instance().Workspaces(0).OpenDatabase(name);
    if (bd->TableDefsCount() > 0) {
        throw core::RunError(engines::errnum::kTableExists,
                             QStringLiteral("La base de datos '%1' ya tiene tablas: la muestra se escribe en "
                                            "una base de datos vacía.")
                                 .arg(engines::shownDatabaseName(name)));
    }
    return bd;
}

// Asked every kRowsBetweenAsks rows or elements: a sample asked to end stops with core::Interrupted, and
// what it wrote goes as after any failure.
constexpr std::int64_t kRowsBetweenAsks = 1024;

void askWhetherToEnd(const Context& c, std::int64_t done) {
    if (done % kRowsBetweenAsks == 0 && c.o.wait.interrupted && c.o.wait.interrupted()) {
        throw core::Interrupted();
    }
}

void fillDatabase(engines::Database& bd, Context& c, std::int64_t& total) {
    createCatalogs(bd, c);
    for (int i = 0; i < c.tables; ++i) {
        bd.AppendTableDef(attributeTable(tableName(i)));
    }
    for (int i = 0; i < c.tables; ++i) {
        for (std::int64_t k = 1; k <= c.records; ++k) {
            askWhetherToEnd(c, total);
            bd.InsertRow(tableName(i), registro(c, i, k));
            ++total;
        }
    }
}

// Everything in one transaction: a sample that fails or is killed halfway leaves no table behind on a
// server (which then undoes it), and a database that it created and could not fill goes again.
std::int64_t writeDatabase(const QString& path, Context& c) {
    bool created = false;
    auto bd = newDatabase(path, created);
    std::int64_t total = 0;
    try {
        bd->BeginTrans();
        fillDatabase(*bd, c, total);
        bd->CommitTrans();
        bd->Close();
    } catch (...) {
        try {
            bd->Rollback();
        } catch (const core::EngineError&) {
            // A lost connection has undone the transaction already.
        }
        bd.reset();
        if (created) {
            try {
                engines::DropDatabase(path);
            } catch (const core::EngineError&) {
                // What the sample failed for is what the user must read.
            }
        }
        throw;
    }
    return total;
}

// ---- drawing ----

void fillRandom(Random& random, std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        p[i] = random.byte();
    }
}

Record12 randomRecord(Random& random) {
    Record12 r{};
    fillRandom(random, r.data(), r.size());
    return r;
}

// The code as the file may hold it: NUL-padded, space-padded, or preceded by spaces.
void setCode(drawing::CabeceraElemento& h, const QString& codigo, Random& random) {
    QByteArray b = drawing::codepage::encode(codigo);
    int p = random.percent();
    if (p >= 80 && b.size() <= 5) {
        b.prepend("  ");
    }
    char filler = p < 50 || p >= 80 ? '\0' : ' ';
    h.codigo.fill(filler);
    std::copy_n(b.constData(), std::min<qsizetype>(b.size(), layout::kCodigoSize), h.codigo.begin());
}

// The text cut into 12-byte chunks; the last one padded with NUL bytes, or with spaces now and then.
std::vector<Record12> chop(const QString& texto, Random& random) {
    QByteArray b = drawing::codepage::encode(texto);
    std::vector<Record12> chunks;
    char filler = random.percent() < 20 ? ' ' : '\0';
    for (qsizetype i = 0; i < b.size(); i += 12) {
        Record12 r;
        r.fill(static_cast<std::uint8_t>(filler));
        std::copy_n(b.constData() + i, std::min<qsizetype>(12, b.size() - i), r.begin());
        chunks.push_back(r);
    }
    if (b.size() % 12 == 0 && filler == '\0') {
        chunks.push_back(Record12{});
    }
    return chunks;
}

EnlaceAtributo link(std::int32_t entitynum, std::int32_t mslink, Random& random) {
    EnlaceAtributo e;
    e.entitynum = static_cast<std::int16_t>(entitynum);
    e.mslink = mslink;
    if (random.percent() < 80) {
        e.reservado.fill(' ');
    } else {
        fillRandom(random, e.reservado.data(), e.reservado.size());  // opaque bytes, copied unchanged
    }
    return e;
}

// Odd spacing or case that normalisation and the case-blind comparison must see through.
QString disfigure(const QString& texto, Random& random) {
    switch (random.below(4)) {
        case 0:
            return texto.toLower();
        case 1: {
            QString t = texto;
            return t.replace(QChar(' '), QStringLiteral("   "));
        }
        case 2:
            return QStringLiteral("  ") + texto + QStringLiteral("  ");
        default:
            return texto.left(1) + texto.mid(1).toLower();
    }
}

struct Text {
    QString codigo;
    QString texto;
    int table = 0;              // table whose entity number the links use
    std::int64_t registro = 0;  // record holding the text; 0 for a text not yet in the table
    bool special = false;       // code that the assignment pass leaves alone
};

Text chooseText(Context& c) {
    Text t;
    t.table = static_cast<int>(c.random.below(c.tables));
    int p = c.random.percent();
    std::int32_t codigo = mainCode(t.table);
    if (p < 70) {
    } else if (p < 78) {
        codigo = secondCode(t.table);
    } else if (p < 81) {
        codigo = excludedCode(t.table), t.special = true;
    } else if (p < 84) {
        codigo = centroidCode(t.table), t.special = true;
    } else if (p < 87) {
        codigo = kCodeWithoutFeature, t.special = true;
    } else if (p < 89) {
        codigo = kCodeWithoutCatalog, t.special = true;
    } else if (p < 94) {
        codigo = kNewTableCode;
    }
    t.codigo = QString::number(codigo);
    if (p >= 94 && p < 97) {
        t.codigo = QStringLiteral("000") + t.codigo;  // leading zeros still designate the feature
    }
    if (codigo == kNewTableCode || c.random.percent() >= 85) {
        // Texts not in the table yet; some repeat, so a later element finds the record an earlier one added.
        std::int64_t n = c.random.below(std::max<std::int64_t>(10, c.o.texts / 20));
        t.texto = QStringLiteral("TEXTO NUEVO %1").arg(n);
        t.registro = 0;
    } else {
        t.registro = 1 + c.random.below(c.records);
        t.texto = recordText(t.registro);
    }
    if (c.random.percent() < 15) {
        t.texto = disfigure(t.texto, c.random);
    }
    return t;
}

// Links of a text element: none, to its record, to another record, several for its table, to another
// table, to the ignored entity number 1.
std::vector<EnlaceAtributo> chooseLinks(Context& c, const Text& t, std::int64_t j) {
    Random& a = c.random;
    const std::int32_t e = entitynumOf(t.table);
    auto other = [&]() { return static_cast<std::int32_t>(1 + a.below(c.records)); };
    // A key beyond the table: in the "keep" mode the record takes it. Keys from 60000 up, which the
    // numbering of new records never looks at, so a long run in that mode never exhausts the numbers
    // below 60000.
    const auto outside = static_cast<std::int32_t>(60000 + 1000 + j);
    const std::int32_t own = t.registro > 0 ? static_cast<std::int32_t>(t.registro) : outside;
    std::vector<EnlaceAtributo> v;
    int p = a.percent();
    if (p < 30) {
        return v;
    } else if (p < 55) {
        v.push_back(link(e, own, a));
    } else if (p < 72) {
        v.push_back(link(e, other(), a));
    } else if (p < 80) {
        // Elements the pass leaves alone keep their links; only existing records keep the rewrite clean.
        v.push_back(link(e, t.special ? other() : outside, a));
    } else if (p < 88) {
        v.push_back(link(e, other(), a));
        v.push_back(link(e, other(), a));
    } else if (p < 94) {
        int neighbouring = (t.table + 1) % c.tables;
        v.push_back(link(entitynumOf(neighbouring), other(), a));
        v.push_back(link(e, own, a));
    } else {
        v.push_back(link(kIgnoredEntitynum, static_cast<std::int32_t>(a.below(100000)), a));
        v.push_back(link(e, own, a));
    }
    return v;
}

void textElement(Context& c, std::int64_t j, drawing::Element& elem) {
    Text t = chooseText(c);
    std::vector<EnlaceAtributo> links = chooseLinks(c, t, j);
    const bool withMany = c.o.texts >= 50;
    if (withMany && j == c.o.texts / 2) {
        // Already full: no link can be appended for the table.
        t.codigo = QString::number(mainCode(t.table));
        links.assign(layout::kMaxLinks, link(kIgnoredEntitynum, 7, c.random));
    } else if (withMany && j == c.o.texts / 3) {
        t.codigo = QStringLiteral("X12");
    } else if (withMany && j == c.o.texts / 4) {
        t.codigo = QString::number(kCodeWithoutFeature);
        t.texto.clear();  // numRegistros 1: an empty text
    }
    elem.header.tipo = {layout::kClassT, layout::kCarried};
    setCode(elem.header, t.codigo, c.random);
    elem.body.assign(1, randomRecord(c.random));
    elem.chunks = t.texto.isEmpty() ? std::vector<Record12>{} : chop(t.texto, c.random);
    elem.links = std::move(links);
}

void elementC(Context& c, drawing::Element& elem) {
    elem.header.tipo = {layout::kClassC, layout::kCarried};
    setCode(elem.header, QString::number(1 + c.random.below(9999)), c.random);
    elem.body.resize(static_cast<std::size_t>(c.random.below(6)));
    for (auto& r : elem.body) {
        r = randomRecord(c.random);
    }
    elem.chunks.clear();
    elem.links.clear();
    for (std::int64_t n = c.random.below(3); n > 0; --n) {
        elem.links.push_back(link(static_cast<std::int32_t>(c.random.below(40000)),
                                  static_cast<std::int32_t>(c.random.next()), c.random));
    }
}

// Dropped: any class, skipped by its counts, never read further.
void droppedElement(Context& c, drawing::Element& elem) {
    elementC(c, elem);
    static constexpr std::array kClasses{'C', 'T', 'c', 'Z'};
    static constexpr std::array kMarks{' ', 'x', '-', '\0'};
    elem.header.tipo = {kClasses[c.random.below(4)], kMarks[c.random.below(4)]};
}

void writeDrawing(const QString& path, Context& c, Result& r) {
    drawing::BinWriter out(path);
    drawing::Element elem;
    std::int64_t textsRemain = c.o.texts;
    // A twentieth of the elements are dropped: at least one whenever the texts leave room for it.
    const std::int64_t room = c.o.elements - c.o.texts;
    std::int64_t droppedRemain = std::min(room, std::max<std::int64_t>(c.o.elements / 20, 1));
    r.dropped = droppedRemain;
    std::int64_t j = 0;
    for (std::int64_t remain = c.o.elements; remain > 0; --remain) {
        askWhetherToEnd(c, remain);
        // Each kind is drawn in proportion to what is left of it, so the totals are exact.
        std::int64_t x = c.random.below(remain);
        if (x < textsRemain) {
            textElement(c, j++, elem);
            --textsRemain;
        } else if (x < textsRemain + droppedRemain) {
            droppedElement(c, elem);
            --droppedRemain;
        } else {
            elementC(c, elem);
        }
        fillRandom(c.random, elem.block.data(), elem.block.size());
        elem.header.numEnlaces = static_cast<std::uint8_t>(elem.links.size());
        elem.header.numRegistros = static_cast<std::int16_t>(elem.body.size() + elem.chunks.size());
        out.write(elem);
    }
    out.close();
}

// The drawing's publication, recorded in the database it belongs with.
void recordDrawing(const QString& database, const QString& written, const QString& finalName) {
    const std::optional<engines::FileSum> sum = engines::fileSum(written);
    if (!sum) {
        throw core::RunError(core::errnum::kFileAccess,
                             QStringLiteral("No se puede leer el dibujo escrito en %1").arg(written));
    }
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(database);
    db->BeginTrans();
    engines::recordPublications(*db, {{written, finalName, *sum}});
    db->CommitTrans();
    db->Close();
}

// Both files have their names: the record goes.
void clearRecord(const QString& database) {
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(database);
    engines::clearPublications(*db);
    db->Close();
}

// Both files are written under names of their own and take their names at the end, so that a sample
// that fails or is killed halfway never leaves half a database or half a drawing under the sample's
// names. A database file that the sample replaces is held as a job holds it (a job on it is waited for)
// and kept as a dated backup (engines/replacement.h).
void writeBoth(Result& r, Context& c) {
    const bool onServer = engines::isServerDatabase(r.database);
    std::unique_ptr<engines::DatabaseReplacement> replacement;
    if (!onServer) {
        engines::removeDeadPartials(r.database);
        replacement = std::make_unique<engines::DatabaseReplacement>(r.database, c.o.wait);
    }
    engines::removeDeadPartials(r.drawing);
    const QString database = onServer ? r.database : engines::partialName(r.database);
    const QString drawing = engines::partialName(r.drawing);
    bool databaseNamed = onServer;
    try {
        r.records = writeDatabase(database, c);  // a refused server database leaves the folder as it was
        writeDrawing(drawing, c, r);
        // The new database records that the new drawing is to take its name: killed between the two
        // renames, the folder holds the new database and, under its partial name, the new drawing, which
        // the first job or import that opens the database names (engines/publication.h).
        recordDrawing(database, drawing, r.drawing);
        if (replacement) {
            try {
                r.backup = replacement->publish(database);
                databaseNamed = true;
            } catch (const engines::NameTakenError&) {
                // The new database has its name: the drawing takes its own too, so that the two files of
                // the folder stay one sample; the database's error says what happened.
                try {
                    engines::publishFile(drawing, r.drawing);
                } catch (const core::RunError&) {
                    // The drawing's partial goes below; the old drawing keeps its name.
                }
                throw;
            }
        }
        engines::publishFile(drawing, r.drawing);
        try {
            clearRecord(r.database);
        } catch (const core::RunError&) {
            // A record left behind names a drawing that has its name: its next opener only drops it.
        }
    } catch (...) {
        if (!databaseNamed) {
            QFile::remove(database);
            QFile::remove(drawing);
        }  // else the new database names the new drawing, which its next opener publishes
        throw;
    }
}

}  // namespace

Result generate(const QString& folder, const Options& options) {
    Options o = options;
    if (o.texts == 0) {
        o.texts = o.elements / 5;
    }
    if (o.elements < 0 || o.texts < 0 || o.texts > o.elements) {
        throw std::invalid_argument("sample: the texts must be between 0 and the number of elements");
    }
    if (o.tables == 0) {
        o.tables = static_cast<int>(
            std::clamp<std::int64_t>((o.texts + kAutoRecordsPerTable - 1) / kAutoRecordsPerTable, 3, 99));
    }
    if (o.tables < 1 || o.tables > 99) {
        throw std::invalid_argument("sample: between 1 and 99 tables");
    }
    Context c{o, 0, o.tables, Random(o.seed)};
    c.records = o.recordsPerTable > 0 ? o.recordsPerTable
                                      : std::max<std::int64_t>(20, (o.texts + o.tables - 1) / o.tables);
    if (o.recordsPerTable == 0 && c.records > kMaxRecordsPerTable) {
        throw std::invalid_argument(
            "los textos necesitarían más de 50000 registros por tabla: use más tablas (--tablas)");
    }

    QDir().mkpath(folder);
    Result r;
    r.database =
        o.database.isEmpty() ? QDir(folder).filePath(o.name + QStringLiteral(".sqlite")) : o.database;
    r.drawing = QDir(folder).filePath(o.name + QStringLiteral(".bin"));
    writeBoth(r, c);
    r.elements = o.elements;
    r.texts = o.texts;
    return r;
}

}  // namespace vexilo::sample
