// The importer's reading of the helper's stream: a correct stream arrives whole however it is cut into
// pieces, and every fault in a stream built correct and then broken ends in ErrorImportacion.
#include "import/lectorflujo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace vexilo::importacion {
namespace {

using flujo::TipoColumna;
using flujo::Valor;

const QString kDanado = QStringLiteral("El fichero de Access está dañado: ");

class Grabadora : public Receptor {
  public:
    void empiezaTabla(const TablaFlujo& t) override { tablas << t.nombre; }
    void fila(const std::vector<QVariant>& valores) override { filas.push_back(valores); }
    void terminaTabla() override { ++terminadas; }
    QStringList tablas;
    std::vector<std::vector<QVariant>> filas;
    int terminadas = 0;
};

// A stream built from its parts with the writer the helper uses.
class Flujo {
  public:
    Flujo()
        : m_w([this](std::string_view t) { m_bytes.append(t.data(), static_cast<qsizetype>(t.size())); }) {}
    Flujo& catalogo(const std::vector<std::string>& tablas) {
        m_w.empieza(flujo::kCatalogo);
        m_w.u32(static_cast<std::uint32_t>(tablas.size()));
        for (const auto& t : tablas) {
            m_w.cadena(t);
        }
        m_w.termina();
        return *this;
    }
    Flujo& tabla(const std::string& nombre, std::int64_t filas,
                 const std::vector<std::tuple<std::string, TipoColumna, std::uint32_t>>& columnas) {
        m_w.empieza(flujo::kTabla);
        m_w.cadena(nombre);
        m_w.i64(filas);
        m_w.u16(static_cast<std::uint16_t>(columnas.size()));
        for (const auto& [n, tipo, tam] : columnas) {
            m_w.cadena(n);
            m_w.u8(static_cast<std::uint8_t>(tipo));
            m_w.u32(tam);
        }
        m_w.termina();
        return *this;
    }
    // A row of values, each written by one function of the writer.
    Flujo& fila(const std::vector<std::function<void(flujo::Escritor&)>>& valores) {
        m_w.empieza(flujo::kFila);
        for (const auto& v : valores) {
            v(m_w);
        }
        m_w.termina();
        return *this;
    }
    Flujo& trama(flujo::Trama t) {
        m_w.trama(t);
        return *this;
    }
    Flujo& trama(flujo::Trama t, const std::string& texto) {
        m_w.trama(t, texto);
        return *this;
    }
    Flujo& crudo(const QByteArray& b) {
        m_bytes += b;
        return *this;
    }
    const QByteArray& bytes() const { return m_bytes; }

  private:
    QByteArray m_bytes;
    flujo::Escritor m_w;
};

std::function<void(flujo::Escritor&)> entero(std::int64_t v) {
    return [v](flujo::Escritor& w) {
        w.u8(static_cast<std::uint8_t>(Valor::Entero));
        w.i64(v);
    };
}
std::function<void(flujo::Escritor&)> real(Valor tag, double d) {
    return [tag, d](flujo::Escritor& w) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        w.u8(static_cast<std::uint8_t>(tag));
        w.i64(static_cast<std::int64_t>(bits));
    };
}
std::function<void(flujo::Escritor&)> texto(const std::string& s, Valor tag = Valor::Texto) {
    return [s, tag](flujo::Escritor& w) {
        w.u8(static_cast<std::uint8_t>(tag));
        w.cadena(s);
    };
}
std::function<void(flujo::Escritor&)> nulo() {
    return [](flujo::Escritor& w) { w.u8(static_cast<std::uint8_t>(Valor::Nulo)); };
}

const std::vector<std::tuple<std::string, TipoColumna, std::uint32_t>> kColumnas{
    {"Id", TipoColumna::EnteroLargo, 0},
    {"Nombre", TipoColumna::Texto, 5},
    {"Alta", TipoColumna::Fecha, 0},
    {"Foto", TipoColumna::Ole, 0}};

Flujo correcto() {
    Flujo f;
    f.catalogo({"Clientes", "Vacía"})
        .tabla("Clientes", 2, kColumnas)
        .fila({entero(1), texto("Peña"), real(Valor::Fecha, 36526.75),
               texto(std::string("\0\1", 2), Valor::Bytes)})
        .fila({entero(2), nulo(), nulo(), nulo()})
        .trama(flujo::kFinTabla)
        .tabla("Vacía", 0, {{"x", TipoColumna::Memo, 0}})
        .trama(flujo::kFinTabla)
        .trama(flujo::kFin);
    return f;
}

void lee(const QByteArray& b, Receptor& r, std::size_t trozo) {
    LectorFlujo lector(r);
    for (qsizetype i = 0; i < b.size(); i += static_cast<qsizetype>(trozo)) {
        lector.alimenta(b.constData() + i,
                        std::min<std::size_t>(trozo, static_cast<std::size_t>(b.size() - i)));
    }
    lector.termina();
}

TEST(LectorFlujo, ACorrectStreamArrivesWholeHoweverThePipeCutsIt) {
    const QByteArray b = correcto().bytes();
    for (std::size_t trozo : {std::size_t{1}, std::size_t{7}, static_cast<std::size_t>(b.size())}) {
        Grabadora g;
        lee(b, g, trozo);
        EXPECT_EQ(g.tablas, QStringList({QStringLiteral("Clientes"), QStringLiteral("Vacía")}));
        EXPECT_EQ(g.terminadas, 2);
        ASSERT_EQ(g.filas.size(), 2u);
        EXPECT_EQ(g.filas[0][0].toLongLong(), 1);
        EXPECT_EQ(g.filas[0][1].toString(), QStringLiteral("Peña"));
        EXPECT_EQ(g.filas[0][2].toString(), QStringLiteral("2000-01-01 18:00:00"));
        EXPECT_EQ(g.filas[0][3].toByteArray(), QByteArray("\0\1", 2));
        EXPECT_TRUE(g.filas[1][1].isNull());
        EXPECT_TRUE(g.filas[1][3].isNull());
    }
}

// A stream built correct up to its fault; the message each fault gives.
TEST(LectorFlujo, EveryFaultInTheStreamIsADamagedFile) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto conFila = [](const std::vector<std::function<void(flujo::Escritor&)>>& valores) {
        Flujo f;
        f.catalogo({"T"}).tabla("T", 1, kColumnas).fila(valores).trama(flujo::kFinTabla).trama(flujo::kFin);
        return f.bytes();
    };
    const std::vector<std::pair<QByteArray, QString>> casos{
        {Flujo().catalogo({"T"}).bytes(), "su lectura terminó antes de leer todas las tablas"},
        {Flujo().catalogo({"T"}).trama(flujo::kFin).bytes(),
         "su lectura terminó antes de leer todas las tablas"},
        {Flujo().catalogo({"A", "B"}).tabla("B", 0, kColumnas).bytes(),
         "su lectura dio la tabla B fuera del orden"},
        {Flujo().catalogo({"T", "t"}).bytes(), "su catálogo lista dos veces la tabla t"},
        {Flujo().catalogo({""}).bytes(), "su lectura dio un nombre de tabla no válido"},
        {Flujo().tabla("T", 0, kColumnas).bytes(), "su lectura dio una tabla fuera de lugar"},
        {Flujo().catalogo({"T"}).tabla("T", 0, kColumnas).fila({entero(1), nulo(), nulo(), nulo()}).bytes(),
         "la tabla T tiene más filas de las 0 que declara"},
        {Flujo().catalogo({"T"}).tabla("T", 3, kColumnas).trama(flujo::kFinTabla).bytes(),
         "la tabla T declara 3 filas pero solo se pueden leer 0"},
        {Flujo().catalogo({"T"}).tabla("T", -1, kColumnas).bytes(),
         "la tabla T declara un número de filas no válido"},
        {Flujo().catalogo({"T"}).tabla("T", 0, {}).bytes(),
         "la tabla T declara un número de campos no válido"},
        {Flujo()
             .catalogo({"T"})
             .tabla("T", 0, {{"a", TipoColumna::Memo, 0}, {"A", TipoColumna::Memo, 0}})
             .bytes(),
         "el campo A de la tabla T no es válido"},
        {Flujo().catalogo({"T"}).tabla("T", 0, {{"a", static_cast<TipoColumna>(99), 0}}).bytes(),
         "el campo a de la tabla T no es válido"},
        {conFila({texto("1"), nulo(), nulo(), nulo()}), "el campo Id de la tabla T tiene un valor no válido"},
        {conFila({entero(1LL << 40), nulo(), nulo(), nulo()}),
         "el campo Id de la tabla T tiene un valor no válido"},
        {conFila({entero(1), texto("seis!!"), nulo(), nulo()}),
         "el campo Nombre de la tabla T tiene un valor no válido"},
        {conFila({entero(1), texto("\xff"), nulo(), nulo()}),
         "su lectura dio un texto que no es texto UTF-8"},
        {conFila({entero(1), nulo(), real(Valor::Fecha, nan), nulo()}),
         "el campo Alta de la tabla T tiene un valor no válido"},
        {conFila({entero(1), nulo(), real(Valor::Fecha, 3e6), nulo()}),
         "el campo Alta de la tabla T tiene un valor no válido"},
        {conFila({entero(1), nulo(), nulo()}), "su lectura dio una trama cortada"},
        {conFila({entero(1), nulo(), nulo(), nulo(), nulo()}), "su lectura dio una trama con bytes de más"},
        {correcto().trama(flujo::kFin).bytes(), "su lectura dio datos tras el final"},
        {correcto().crudo("Z").bytes(), "su lectura terminó antes de leer todas las tablas"},
        {Flujo().crudo(QByteArray("F\xff\xff\xff\x7f", 5)).bytes(),
         "su lectura dio una trama demasiado grande"},
        {Flujo().trama(flujo::kDanado, "la tabla X no se puede leer").bytes(), "la tabla X no se puede leer"},
    };
    for (const auto& [bytes, detalle] : casos) {
        SCOPED_TRACE(detalle.toStdString());
        Grabadora g;
        try {
            lee(bytes, g, static_cast<std::size_t>(std::max<qsizetype>(bytes.size(), 1)));
            ADD_FAILURE() << "a faulty stream was read as correct";
        } catch (const ErrorImportacion& e) {
            EXPECT_TRUE(e.mensaje().startsWith(kDanado + detalle)) << e.mensaje().toStdString();
        }
    }
}

TEST(LectorFlujo, AFailureThatIsNotDamageKeepsItsOwnMessage) {
    Grabadora g;
    try {
        lee(Flujo().catalogo({"T"}).trama(flujo::kError, "El campo M es demasiado largo.").bytes(), g, 3);
        FAIL() << "an error frame was ignored";
    } catch (const ErrorImportacion& e) {
        EXPECT_EQ(e.mensaje(), QStringLiteral("El campo M es demasiado largo."));
    }
}

}  // namespace
}  // namespace vexilo::importacion
