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
#include "platform/dao.h"
#include "platform/databasename.h"

namespace vexilo::sample {
namespace {

using drawing::EnlaceAtributo;
using drawing::Record12;
using platform::FieldValues;
namespace layout = drawing::layout;

// splitmix64: small, fast and the same on every platform and library, unlike the standard
// distributions, whose results the standard leaves to each library.
class Azar {
  public:
    explicit Azar(std::uint64_t seed) : m_state(seed) {}
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

constexpr std::array kNombresTabla{"PARCELAS", "CALLES",  "RIOS",    "MONTES",  "PUEBLOS",
                                   "CAMINOS",  "FUENTES", "PARAJES", "ARROYOS", "LOMAS"};
constexpr std::array kPrefijos{"CALLE", "AVENIDA", "CAMINO",   "PLAZA", "ARROYO",
                               "CERRO", "FUENTE",  "BARRANCO", "LOMA",  "PARAJE"};
constexpr std::array kNombres{"MAYOR", "DEL MOLINO", "DE LA PEÑA", "SAN JOSÉ",    "LOS ÁLAMOS",
                              "REAL",  "NUEVA",      "DEL RÍO",    "LAS ENCINAS", "EL PINAR"};

constexpr std::int32_t kCodigoSinFeature = 99;   // no Feature row has this mslink
constexpr std::int32_t kCodigoSinCatalogo = 50;  // Feature row whose table MsCatalog does not list
constexpr std::int32_t kCodigoTablaNueva = 900;  // table listed in MsCatalog, missing from the database
constexpr std::int32_t kEntitynumIgnorado = 1;   // the rewrite pass passes over this entity number
const QString kTablaNueva = QStringLiteral("Nueva");
const QString kTablaSinCatalogo = QStringLiteral("SINCATALOGO");

QString nombreTabla(int i) {
    if (i < static_cast<int>(kNombresTabla.size())) {
        return QString::fromLatin1(kNombresTabla[i]);
    }
    return QStringLiteral("TABLA%1").arg(i + 1, 2, 10, QChar('0'));
}

// Codes of table i: main, second, excluded (listed in NoAsignar), centroid (ftype 4).
std::int32_t codigoPrincipal(int i) {
    return 100 * (i + 1) + 1;
}
std::int32_t codigoSegundo(int i) {
    return 100 * (i + 1) + 2;
}
std::int32_t codigoExcluido(int i) {
    return 100 * (i + 1) + 3;
}
std::int32_t codigoCentroide(int i) {
    return 100 * (i + 1) + 4;
}
std::int32_t entitynumDe(int i) {
    return 10 + i;
}

// The text of record k (1-based) of any table: unique per table through its number, accented in part,
// long enough in part to take several chunks.
QString textoRegistro(std::int64_t k) {
    QString t = QStringLiteral("%1 %2 %3")
                    .arg(QString::fromUtf8(kPrefijos[k % kPrefijos.size()]),
                         QString::fromUtf8(kNombres[(k / 10) % kNombres.size()]))
                    .arg(k);
    if (k % 17 == 0) {
        t += QStringLiteral(" (TRAMO ANTIGUO)");
    }
    return t;
}

struct Contexto {
    const Options& o;
    std::int64_t registros = 0;  // records per table
    int tablas = 0;
    Azar azar;
};

// ---- database ----

platform::TableDef tablaAtributos(const QString& nombre) {
    platform::TableDef def(nombre);
    def.Append(platform::TableDef::CreateField(QStringLiteral("MsLink"), platform::dbLong));
    def.Append(platform::TableDef::CreateField(QStringLiteral("tcomplet"), platform::dbText));
    def.Append(platform::TableDef::CreateField(QStringLiteral("tmapa"), platform::dbText, 100));
    def.Append(platform::TableDef::CreateField(QStringLiteral("tfeature"), platform::dbLong));
    def.Append(platform::TableDef::CreateField(QStringLiteral("clasific"), platform::dbInteger));
    return def;
}

void creaCatalogos(platform::Database& bd, const Contexto& c) {
    platform::TableDef ms(QStringLiteral("MsCatalog"));
    ms.Append(platform::TableDef::CreateField(QStringLiteral("tablename"), platform::dbText, 64));
    ms.Append(platform::TableDef::CreateField(QStringLiteral("entitynum"), platform::dbLong));
    bd.AppendTableDef(ms);
    platform::TableDef fe(QStringLiteral("Feature"));
    fe.Append(platform::TableDef::CreateField(QStringLiteral("mslink"), platform::dbLong));
    fe.Append(platform::TableDef::CreateField(QStringLiteral("tablename"), platform::dbText, 64));
    fe.Append(platform::TableDef::CreateField(QStringLiteral("ftype"), platform::dbInteger));
    bd.AppendTableDef(fe);
    platform::TableDef na(QStringLiteral("NoAsignar"));
    na.Append(platform::TableDef::CreateField(QStringLiteral("mslink"), platform::dbLong));
    bd.AppendTableDef(na);

    auto feature = [&bd](std::int32_t codigo, const QString& tabla, int ftype) {
        bd.InsertRow(QStringLiteral("Feature"), {{QStringLiteral("mslink"), codigo},
                                                 {QStringLiteral("tablename"), tabla},
                                                 {QStringLiteral("ftype"), ftype}});
    };
    for (int i = 0; i < c.tablas; ++i) {
        // Names stored with surrounding spaces in part: the catalog cache trims them.
        QString nombre = i % 3 == 2 ? QStringLiteral(" %1 ").arg(nombreTabla(i)) : nombreTabla(i);
        bd.InsertRow(QStringLiteral("MsCatalog"),
                     {{QStringLiteral("tablename"), nombre}, {QStringLiteral("entitynum"), entitynumDe(i)}});
        feature(codigoPrincipal(i), nombreTabla(i), 2);
        feature(codigoSegundo(i), nombreTabla(i), 2);
        feature(codigoExcluido(i), nombreTabla(i), 2);
        feature(codigoCentroide(i), nombreTabla(i), 4);
        bd.InsertRow(QStringLiteral("NoAsignar"), {{QStringLiteral("mslink"), codigoExcluido(i)}});
    }
    bd.InsertRow(QStringLiteral("MsCatalog"), {{QStringLiteral("tablename"), kTablaNueva},
                                               {QStringLiteral("entitynum"), entitynumDe(c.tablas)}});
    feature(kCodigoTablaNueva, kTablaNueva, 2);
    feature(kCodigoSinCatalogo, kTablaSinCatalogo, 2);
}

// Record k's owner and where its text lives, drawn once per record.
FieldValues registro(Contexto& c, int tabla, std::int64_t k) {
    // Every fiftieth record repeats the text of the one before it: the first one that qualifies wins.
    QString texto = textoRegistro(k % 50 == 0 && k > 1 ? k - 1 : k);
    QVariant tmapa = texto;
    QVariant tcomplet = texto;
    QVariant tfeature = codigoPrincipal(tabla);
    int p = c.azar.percent();
    if (p < 50) {
        // owned by the main code
    } else if (p < 80) {
        tfeature = QVariant();  // unclaimed: the first text found claims it
    } else if (p < 88) {
        tfeature = codigoSegundo(tabla);
    } else if (p < 94) {
        tmapa = QVariant();  // the text only in tcomplet
        tfeature = QVariant();
    } else if (p < 97) {
        tmapa = QString();  // an empty tmapa is compared through tcomplet too
    } else {
        tfeature = codigoExcluido(tabla);  // belongs to another code: passed over
    }
    return {{QStringLiteral("MsLink"), static_cast<qint64>(k)},
            {QStringLiteral("tcomplet"), tcomplet},
            {QStringLiteral("tmapa"), tmapa},
            {QStringLiteral("tfeature"), tfeature},
            {QStringLiteral("clasific"), static_cast<int>(k % 5)}};
}

// A new database for the sample: a file is created anew; a server database is created or, when it
// exists, taken only while it holds no table.
std::unique_ptr<platform::Database> bdNueva(const QString& nombre) {
    if (!platform::isServerDatabase(nombre)) {
        QFile::remove(nombre);
        return platform::CreateDatabase(nombre);
    }
    try {
        return platform::CreateDatabase(nombre);
    } catch (const platform::EngineError& e) {
        if (e.number() != platform::errnum::kDatabaseExists) {
            throw;
        }
    }
    auto bd = platform::DBEngine::instance().Workspaces(0).OpenDatabase(nombre);
    if (bd->TableDefsCount() > 0) {
        throw platform::RunError(
            platform::errnum::kTableExists,
            QStringLiteral("La base de datos '%1' ya tiene tablas: la muestra se escribe en "
                           "una base de datos vacía.")
                .arg(platform::shownDatabaseName(nombre)));
    }
    return bd;
}

std::int64_t escribeBaseDeDatos(const QString& ruta, Contexto& c) {
    auto bd = bdNueva(ruta);
    creaCatalogos(*bd, c);
    std::int64_t total = 0;
    for (int i = 0; i < c.tablas; ++i) {
        bd->AppendTableDef(tablaAtributos(nombreTabla(i)));
    }
    bd->BeginTrans();
    for (int i = 0; i < c.tablas; ++i) {
        for (std::int64_t k = 1; k <= c.registros; ++k) {
            bd->InsertRow(nombreTabla(i), registro(c, i, k));
            ++total;
        }
    }
    bd->CommitTrans();
    bd->Close();
    return total;
}

// ---- drawing ----

void rellena(Azar& azar, std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        p[i] = azar.byte();
    }
}

Record12 registroAzar(Azar& azar) {
    Record12 r{};
    rellena(azar, r.data(), r.size());
    return r;
}

// The code as the file may hold it: NUL-padded, space-padded, or preceded by spaces.
void ponCodigo(drawing::CabeceraElemento& h, const QString& codigo, Azar& azar) {
    QByteArray b = drawing::codepage::encode(codigo);
    int p = azar.percent();
    if (p >= 80 && b.size() <= 5) {
        b.prepend("  ");
    }
    char relleno = p < 50 || p >= 80 ? '\0' : ' ';
    h.codigo.fill(relleno);
    std::copy_n(b.constData(), std::min<qsizetype>(b.size(), layout::kCodigoSize), h.codigo.begin());
}

// The text cut into 12-byte chunks; the last one padded with NUL bytes, or with spaces now and then.
std::vector<Record12> trocea(const QString& texto, Azar& azar) {
    QByteArray b = drawing::codepage::encode(texto);
    std::vector<Record12> trozos;
    char relleno = azar.percent() < 20 ? ' ' : '\0';
    for (qsizetype i = 0; i < b.size(); i += 12) {
        Record12 r;
        r.fill(static_cast<std::uint8_t>(relleno));
        std::copy_n(b.constData() + i, std::min<qsizetype>(12, b.size() - i), r.begin());
        trozos.push_back(r);
    }
    if (b.size() % 12 == 0 && relleno == '\0') {
        trozos.push_back(Record12{});
    }
    return trozos;
}

EnlaceAtributo enlace(std::int32_t entitynum, std::int32_t mslink, Azar& azar) {
    EnlaceAtributo e;
    e.entitynum = static_cast<std::int16_t>(entitynum);
    e.mslink = mslink;
    if (azar.percent() < 80) {
        e.reservado.fill(' ');
    } else {
        rellena(azar, e.reservado.data(), e.reservado.size());  // opaque bytes, copied unchanged
    }
    return e;
}

// Odd spacing or case that normalisation and the case-blind comparison must see through.
QString desfigura(const QString& texto, Azar& azar) {
    switch (azar.below(4)) {
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

struct Texto {
    QString codigo;
    QString texto;
    int tabla = 0;              // table whose entity number the links use
    std::int64_t registro = 0;  // record holding the text; 0 for a text not yet in the table
    bool especial = false;      // code that the assignment pass leaves alone
};

Texto eligeTexto(Contexto& c) {
    Texto t;
    t.tabla = static_cast<int>(c.azar.below(c.tablas));
    int p = c.azar.percent();
    std::int32_t codigo = codigoPrincipal(t.tabla);
    if (p < 70) {
    } else if (p < 78) {
        codigo = codigoSegundo(t.tabla);
    } else if (p < 81) {
        codigo = codigoExcluido(t.tabla), t.especial = true;
    } else if (p < 84) {
        codigo = codigoCentroide(t.tabla), t.especial = true;
    } else if (p < 87) {
        codigo = kCodigoSinFeature, t.especial = true;
    } else if (p < 89) {
        codigo = kCodigoSinCatalogo, t.especial = true;
    } else if (p < 94) {
        codigo = kCodigoTablaNueva;
    }
    t.codigo = QString::number(codigo);
    if (p >= 94 && p < 97) {
        t.codigo = QStringLiteral("000") + t.codigo;  // leading zeros still designate the feature
    }
    if (codigo == kCodigoTablaNueva || c.azar.percent() >= 85) {
        // Texts not in the table yet; some repeat, so a later element finds the record an earlier one added.
        std::int64_t n = c.azar.below(std::max<std::int64_t>(10, c.o.texts / 20));
        t.texto = QStringLiteral("TEXTO NUEVO %1").arg(n);
        t.registro = 0;
    } else {
        t.registro = 1 + c.azar.below(c.registros);
        t.texto = textoRegistro(t.registro);
    }
    if (c.azar.percent() < 15) {
        t.texto = desfigura(t.texto, c.azar);
    }
    return t;
}

// Links of a text element: none, to its record, to another record, several for its table, to another
// table, to the ignored entity number 1.
std::vector<EnlaceAtributo> eligeEnlaces(Contexto& c, const Texto& t, std::int64_t j) {
    Azar& a = c.azar;
    const std::int32_t e = entitynumDe(t.tabla);
    auto otro = [&]() { return static_cast<std::int32_t>(1 + a.below(c.registros)); };
    // A key beyond the table: in the "keep" mode the record takes it. Keys from 60000 up, which the
    // numbering of new records never looks at, so a long run in that mode never exhausts the numbers
    // below 60000.
    const auto fuera = static_cast<std::int32_t>(60000 + 1000 + j);
    const std::int32_t propio = t.registro > 0 ? static_cast<std::int32_t>(t.registro) : fuera;
    std::vector<EnlaceAtributo> v;
    int p = a.percent();
    if (p < 30) {
        return v;
    } else if (p < 55) {
        v.push_back(enlace(e, propio, a));
    } else if (p < 72) {
        v.push_back(enlace(e, otro(), a));
    } else if (p < 80) {
        // Elements the pass leaves alone keep their links; only existing records keep the rewrite clean.
        v.push_back(enlace(e, t.especial ? otro() : fuera, a));
    } else if (p < 88) {
        v.push_back(enlace(e, otro(), a));
        v.push_back(enlace(e, otro(), a));
    } else if (p < 94) {
        int vecina = (t.tabla + 1) % c.tablas;
        v.push_back(enlace(entitynumDe(vecina), otro(), a));
        v.push_back(enlace(e, propio, a));
    } else {
        v.push_back(enlace(kEntitynumIgnorado, static_cast<std::int32_t>(a.below(100000)), a));
        v.push_back(enlace(e, propio, a));
    }
    return v;
}

void elementoTexto(Contexto& c, std::int64_t j, drawing::Elemento& el) {
    Texto t = eligeTexto(c);
    std::vector<EnlaceAtributo> enlaces = eligeEnlaces(c, t, j);
    const bool conMuchos = c.o.texts >= 50;
    if (conMuchos && j == c.o.texts / 2) {
        // Already full: no link can be appended for the table.
        t.codigo = QString::number(codigoPrincipal(t.tabla));
        enlaces.assign(layout::kMaxLinks, enlace(kEntitynumIgnorado, 7, c.azar));
    } else if (conMuchos && j == c.o.texts / 3) {
        t.codigo = QStringLiteral("X12");
    } else if (conMuchos && j == c.o.texts / 4) {
        t.codigo = QString::number(kCodigoSinFeature);
        t.texto.clear();  // numRegistros 1: an empty text
    }
    el.cabecera.tipo = {layout::kClassT, layout::kCarried};
    ponCodigo(el.cabecera, t.codigo, c.azar);
    el.cuerpo.assign(1, registroAzar(c.azar));
    el.trozos = t.texto.isEmpty() ? std::vector<Record12>{} : trocea(t.texto, c.azar);
    el.enlaces = std::move(enlaces);
}

void elementoC(Contexto& c, drawing::Elemento& el) {
    el.cabecera.tipo = {layout::kClassC, layout::kCarried};
    ponCodigo(el.cabecera, QString::number(1 + c.azar.below(9999)), c.azar);
    el.cuerpo.resize(static_cast<std::size_t>(c.azar.below(6)));
    for (auto& r : el.cuerpo) {
        r = registroAzar(c.azar);
    }
    el.trozos.clear();
    el.enlaces.clear();
    for (std::int64_t n = c.azar.below(3); n > 0; --n) {
        el.enlaces.push_back(enlace(static_cast<std::int32_t>(c.azar.below(40000)),
                                    static_cast<std::int32_t>(c.azar.next()), c.azar));
    }
}

// Dropped: any class, skipped by its counts, never read further.
void elementoDescartado(Contexto& c, drawing::Elemento& el) {
    elementoC(c, el);
    static constexpr std::array kClases{'C', 'T', 'c', 'Z'};
    static constexpr std::array kMarcas{' ', 'x', '-', '\0'};
    el.cabecera.tipo = {kClases[c.azar.below(4)], kMarcas[c.azar.below(4)]};
}

void escribeDibujo(const QString& ruta, Contexto& c, Result& r) {
    drawing::BinWriter out(ruta);
    drawing::Elemento el;
    std::int64_t quedanTextos = c.o.texts;
    // A twentieth of the elements are dropped: at least one whenever the texts leave room for it.
    const std::int64_t sitio = c.o.elements - c.o.texts;
    std::int64_t quedanDescartados = std::min(sitio, std::max<std::int64_t>(c.o.elements / 20, 1));
    r.dropped = quedanDescartados;
    std::int64_t j = 0;
    for (std::int64_t quedan = c.o.elements; quedan > 0; --quedan) {
        // Each kind is drawn in proportion to what is left of it, so the totals are exact.
        std::int64_t x = c.azar.below(quedan);
        if (x < quedanTextos) {
            elementoTexto(c, j++, el);
            --quedanTextos;
        } else if (x < quedanTextos + quedanDescartados) {
            elementoDescartado(c, el);
            --quedanDescartados;
        } else {
            elementoC(c, el);
        }
        rellena(c.azar, el.bloque.data(), el.bloque.size());
        el.cabecera.numEnlaces = static_cast<std::uint8_t>(el.enlaces.size());
        el.cabecera.numRegistros = static_cast<std::int16_t>(el.cuerpo.size() + el.trozos.size());
        out.write(el);
    }
    out.close();
}

}  // namespace

Result genera(const QString& folder, const Options& options) {
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
    Contexto c{o, 0, o.tables, Azar(o.seed)};
    c.registros = o.recordsPerTable > 0 ? o.recordsPerTable
                                        : std::max<std::int64_t>(20, (o.texts + o.tables - 1) / o.tables);
    if (o.recordsPerTable == 0 && c.registros > kMaxRecordsPerTable) {
        throw std::invalid_argument(
            "los textos necesitarían más de 50000 registros por tabla: use más tablas (--tablas)");
    }

    QDir().mkpath(folder);
    Result r;
    r.database =
        o.database.isEmpty() ? QDir(folder).filePath(o.name + QStringLiteral(".sqlite")) : o.database;
    r.drawing = QDir(folder).filePath(o.name + QStringLiteral(".bin"));
    r.records = escribeBaseDeDatos(r.database, c);  // a refused database leaves the folder as it was
    QFile::remove(r.drawing);
    escribeDibujo(r.drawing, c, r);
    r.elements = o.elements;
    r.texts = o.texts;
    return r;
}

}  // namespace vexilo::sample
