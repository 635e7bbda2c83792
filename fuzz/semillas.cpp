#include "fuzz/semillas.h"

#include <QDir>
#include <QFile>

#include "import/flujoaccess.h"
#include "tests/support/elementbuilder.h"
#include "tools/accessreader/leeaccess.h"

namespace vexilo::fuzz {
namespace {

using testing::ElementBuilder;
namespace flujo = importacion::flujo;

constexpr int kFilasPorTabla = 3;
constexpr std::size_t kMaxSemilla = 32 * 1024;  // beyond the first row, a table's seed stops growing here
constexpr qint64 kCorte = 1196032;              // a cut that loses half of the sample's catalog

Semilla dibujo(const char* nombre, const std::vector<ElementBuilder>& elementos, bool byteDeMas = false) {
    testing::Bytes b = testing::concat(elementos);
    if (byteDeMas) {
        b.push_back(0x7f);
    }
    return {nombre, std::string(b.begin(), b.end())};
}

std::string flujoDe(const QString& access) {
    std::string s;
    flujo::Escritor w([&s](std::string_view trama) { s.append(trama); });
    importacion::leeAccess(QFile::encodeName(access).constData(), w);
    return s;
}

struct Trama {
    char tipo;
    std::string bytes;  // the whole frame, header included
};

std::vector<Trama> tramas(const std::string& s) {
    std::vector<Trama> v;
    std::size_t i = 0;
    while (i + flujo::kCabeceraTrama <= s.size()) {
        std::uint32_t n = 0;
        for (int k = 3; k >= 0; --k) {
            n = (n << 8) | static_cast<unsigned char>(s[i + 1 + static_cast<std::size_t>(k)]);
        }
        v.push_back({s[i], s.substr(i, flujo::kCabeceraTrama + n)});
        i += flujo::kCabeceraTrama + n;
    }
    return v;
}

// The table frame with another declared row count (it follows the name: length and bytes).
std::string conFilas(std::string tabla, std::int64_t filas) {
    std::uint32_t largo = 0;
    for (int k = 3; k >= 0; --k) {
        largo = (largo << 8) |
                static_cast<unsigned char>(tabla[flujo::kCabeceraTrama + static_cast<std::size_t>(k)]);
    }
    const std::size_t en = flujo::kCabeceraTrama + 4 + largo;
    for (int k = 0; k < 8; ++k) {
        tabla[en + static_cast<std::size_t>(k)] =
            static_cast<char>((static_cast<std::uint64_t>(filas) >> (8 * k)) & 0xff);
    }
    return tabla;
}

std::string catalogoDeUna(const std::string& tabla) {
    std::string s;
    flujo::Escritor w([&s](std::string_view trama) { s.append(trama); });
    w.empieza(flujo::kCatalogo);
    w.u32(1);
    std::uint32_t largo = 0;
    for (int k = 3; k >= 0; --k) {
        largo = (largo << 8) |
                static_cast<unsigned char>(tabla[flujo::kCabeceraTrama + static_cast<std::size_t>(k)]);
    }
    w.cadena(std::string_view(tabla).substr(flujo::kCabeceraTrama + 4, largo));
    w.termina();
    return s;
}

// Each table alone: a catalog of one, the table with its first rows (declared as that many), its end.
std::vector<Semilla> porTabla(const std::vector<Trama>& todas) {
    std::vector<Semilla> v;
    for (std::size_t i = 0; i < todas.size(); ++i) {
        if (todas[i].tipo != flujo::kTabla) {
            continue;
        }
        std::string filas;
        int cuantas = 0;
        for (std::size_t j = i + 1;
             j < todas.size() && todas[j].tipo == flujo::kFila && cuantas < kFilasPorTabla; ++j) {
            if (cuantas > 0 && filas.size() + todas[j].bytes.size() > kMaxSemilla) {
                break;
            }
            filas += todas[j].bytes;
            ++cuantas;
        }
        const std::string fin(1, static_cast<char>(flujo::kFinTabla));
        v.push_back({"tabla" + std::to_string(v.size()),
                     catalogoDeUna(todas[i].bytes) + conFilas(todas[i].bytes, cuantas) + filas + fin +
                         std::string(4, '\0') + std::string(1, static_cast<char>(flujo::kFin)) +
                         std::string(4, '\0')});
    }
    return v;
}

}  // namespace

std::vector<Semilla> semillasRecorrido() {
    return {
        dibujo("mezcla", {ElementBuilder::t().seed(1).codigoNul("123").texto("HOLA").enlace(5, 17),
                          ElementBuilder::c().seed(2).registros(3).enlace(1, 1),
                          ElementBuilder::tipo('T', ' ').seed(3).texto("DESCARTADO"),
                          ElementBuilder::t()
                              .seed(4)
                              .codigoSpaces(" 7")
                              .texto("RIO GRANDE DEL NORTE")
                              .enlace(3, 9)
                              .enlace(4, 10),
                          ElementBuilder::c().seed(5), ElementBuilder::t().seed(6)}),
        dibujo("textos",
               {ElementBuilder::t().textoUnicode(QStringLiteral("  Río   Guadalquivir,  año 1900  "),
                                                 testing::Pad::Space),
                ElementBuilder::t().seed(2).textoComoSistema("ABCDEFGHIJKL"),
                ElementBuilder::t().seed(3).texto(std::string("A\0B", 3)),
                ElementBuilder::t().seed(4).codigo(std::string("  42\0 x", 7)).texto(std::string(40, ' '))},
               true),
        dibujo("descartados",
               {ElementBuilder::tipo('C', 'x').registros(2), ElementBuilder::tipo('T', '-').texto("NO"),
                ElementBuilder::tipo('c', '=').registros(1)}),
    };
}

std::vector<Semilla> semillasImportacion(const QString& nwind, const QString& dirTemporal) {
    const std::string completo = flujoDe(nwind);
    std::vector<Semilla> v = porTabla(tramas(completo));
    v.push_back({"completo", completo});
    QFile origen(nwind);
    const QString cortado = QDir(dirTemporal).filePath(QStringLiteral("cortado.mdb"));
    QFile destino(cortado);
    if (origen.open(QIODevice::ReadOnly) && destino.open(QIODevice::WriteOnly)) {
        destino.write(origen.read(kCorte));
        destino.close();
        v.push_back({"cortado", flujoDe(cortado)});
    }
    return v;
}

}  // namespace vexilo::fuzz
