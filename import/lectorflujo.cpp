#include "import/lectorflujo.h"

#include <QSet>
#include <QStringDecoder>
#include <cmath>
#include <cstring>

namespace vexilo::importacion {

using flujo::TipoColumna;
using flujo::Valor;

namespace {

constexpr std::uint32_t kMaxTablas = 32768;  // objects an Access file can hold
constexpr int kMaxTamTexto = 255;
// Access keeps dates from 1 January 100 to 31 December 9999.
constexpr double kPrimerDia = -657434.0;
constexpr double kTrasUltimoDia = 2958466.0;

// Reads the fields of one payload; a payload shorter than its fields is a fault in the stream.
class Cursor {
  public:
    Cursor(const char* p, std::size_t n) : m_p(reinterpret_cast<const unsigned char*>(p)), m_n(n) {}
    std::uint64_t entero(int bytes) {
        necesita(static_cast<std::size_t>(bytes));
        std::uint64_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) {
            v = (v << 8) | m_p[i];
        }
        avanza(static_cast<std::size_t>(bytes));
        return v;
    }
    std::uint8_t u8() { return static_cast<std::uint8_t>(entero(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(entero(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(entero(4)); }
    std::int64_t i64() { return static_cast<std::int64_t>(entero(8)); }
    double real() {
        const std::uint64_t bits = entero(8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    QByteArray bytes() {
        const std::uint32_t n = u32();
        necesita(n);
        QByteArray b(reinterpret_cast<const char*>(m_p), static_cast<qsizetype>(n));
        avanza(n);
        return b;
    }
    std::size_t quedan() const { return m_n; }

  private:
    void necesita(std::size_t n) const {
        if (m_n < n) {
            ficheroDanado(QStringLiteral("su lectura dio una trama cortada"));
        }
    }
    void avanza(std::size_t n) {
        m_p += n;
        m_n -= n;
    }
    const unsigned char* m_p;
    std::size_t m_n;
};

void finDeTrama(const Cursor& c) {
    if (c.quedan() != 0) {
        ficheroDanado(QStringLiteral("su lectura dio una trama con bytes de más"));
    }
}

QString utf8(const QByteArray& b, const char* que) {
    QStringDecoder d(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString s = d(b);
    if (d.hasError()) {
        ficheroDanado(QStringLiteral("su lectura dio %1 que no es texto UTF-8").arg(QLatin1String(que)));
    }
    return s;
}

QString nombre(Cursor& c, const char* que) {
    const QByteArray b = c.bytes();
    if (b.isEmpty() || b.size() > static_cast<qsizetype>(flujo::kMaxNombre) || b.contains('\0')) {
        ficheroDanado(QStringLiteral("su lectura dio %1 no válido").arg(QLatin1String(que)));
    }
    return utf8(b, que);
}

Valor tagDe(TipoColumna t) {
    switch (t) {
        case TipoColumna::Byte:
        case TipoColumna::Entero:
        case TipoColumna::EnteroLargo:
        case TipoColumna::Logico:
            return Valor::Entero;
        case TipoColumna::Moneda:
        case TipoColumna::Simple:
        case TipoColumna::Doble:
        case TipoColumna::Numerico:
            return Valor::Real;
        case TipoColumna::Fecha:
            return Valor::Fecha;
        case TipoColumna::Texto:
        case TipoColumna::Memo:
        case TipoColumna::Guid:
            return Valor::Texto;
        case TipoColumna::Ole:
        case TipoColumna::Binario:
            return Valor::Bytes;
    }
    return Valor::Nulo;
}

bool enRango(TipoColumna t, std::int64_t v) {
    switch (t) {
        case TipoColumna::Byte:
            return v >= 0 && v <= 255;
        case TipoColumna::Entero:
            return v >= -32768 && v <= 32767;
        case TipoColumna::Logico:
            return v == 0 || v == 1;
        default:
            return v >= INT32_MIN && v <= INT32_MAX;
    }
}

QVariant valor(Cursor& c, const ColumnaFlujo& col, const QString& tabla) {
    const auto tag = static_cast<Valor>(c.u8());
    auto malo = [&]() {
        ficheroDanado(
            QStringLiteral("el campo %1 de la tabla %2 tiene un valor no válido").arg(col.nombre, tabla));
    };
    if (tag == Valor::Nulo && col.tipo != TipoColumna::Logico) {
        return QVariant();
    }
    if (tag != tagDe(col.tipo)) {
        malo();
    }
    switch (tag) {
        case Valor::Entero: {
            const std::int64_t v = c.i64();
            if (!enRango(col.tipo, v)) {
                malo();
            }
            return QVariant(static_cast<qint64>(v));
        }
        case Valor::Real: {
            const double d = c.real();
            if (!std::isfinite(d)) {
                malo();
            }
            return QVariant(d);
        }
        case Valor::Fecha: {
            const double d = c.real();
            if (!(d >= kPrimerDia && d < kTrasUltimoDia)) {
                malo();
            }
            // Stored as the engine layer stores dates, so that the job reads them alike.
            return QVariant(fechaAccess(d).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        }
        case Valor::Texto: {
            const QString s = utf8(c.bytes(), "un texto");
            if (col.tipo == TipoColumna::Texto && s.size() > col.tamano) {
                malo();
            }
            return QVariant(s);
        }
        default:
            return QVariant(c.bytes());
    }
}

}  // namespace

void ficheroDanado(const QString& detalle) {
    throw ErrorImportacion(QStringLiteral("El fichero de Access está dañado: ") + detalle + QChar('.'));
}

void LectorFlujo::alimenta(const char* datos, std::size_t n) {
    m_pendiente.append(datos, static_cast<qsizetype>(n));
    qsizetype inicio = 0;
    while (m_pendiente.size() - inicio >= static_cast<qsizetype>(flujo::kCabeceraTrama)) {
        const auto* p = reinterpret_cast<const unsigned char*>(m_pendiente.constData() + inicio);
        const std::uint32_t carga =
            p[1] | (p[2] << 8) | (p[3] << 16) | (static_cast<std::uint32_t>(p[4]) << 24);
        if (carga > flujo::kMaxCarga) {
            ficheroDanado(QStringLiteral("su lectura dio una trama demasiado grande"));
        }
        const qsizetype total = static_cast<qsizetype>(flujo::kCabeceraTrama + carga);
        if (m_pendiente.size() - inicio < total) {
            break;
        }
        trama(p[0], reinterpret_cast<const char*>(p) + flujo::kCabeceraTrama, carga);
        inicio += total;
    }
    m_pendiente.remove(0, inicio);
}

void LectorFlujo::termina() const {
    if (m_estado != Estado::Fin || !m_pendiente.isEmpty()) {
        ficheroDanado(QStringLiteral("su lectura terminó antes de leer todas las tablas"));
    }
}

void LectorFlujo::trama(std::uint8_t tipo, const char* carga, std::size_t n) {
    Cursor c(carga, n);
    if (m_estado == Estado::Fin) {
        ficheroDanado(QStringLiteral("su lectura dio datos tras el final"));
    }
    switch (tipo) {
        case flujo::kDanado:
        case flujo::kError: {
            const QByteArray b = c.bytes();
            finDeTrama(c);
            const QString texto = b.size() <= static_cast<qsizetype>(flujo::kMaxMensaje)
                                      ? utf8(b, "un mensaje")
                                      : QStringLiteral("(mensaje demasiado largo)");
            if (tipo == flujo::kDanado) {
                ficheroDanado(texto);
            }
            throw ErrorImportacion(texto);
        }
        case flujo::kCatalogo:
            return catalogo(carga, n);
        case flujo::kTabla:
            return tabla(carga, n);
        case flujo::kFila:
            return fila(carga, n);
        case flujo::kFinTabla:
            finDeTrama(c);
            return finTabla();
        case flujo::kFin:
            finDeTrama(c);
            if (m_estado != Estado::Tablas ||
                m_tablas.size() != static_cast<std::size_t>(m_catalogo.size())) {
                ficheroDanado(QStringLiteral("su lectura terminó antes de leer todas las tablas"));
            }
            m_estado = Estado::Fin;
            return;
        default:
            ficheroDanado(QStringLiteral("su lectura dio una trama desconocida"));
    }
}

void LectorFlujo::catalogo(const char* carga, std::size_t n) {
    if (m_estado != Estado::Catalogo) {
        ficheroDanado(QStringLiteral("su lectura dio el catálogo fuera de lugar"));
    }
    Cursor c(carga, n);
    const std::uint32_t cuantas = c.u32();
    if (cuantas > kMaxTablas) {
        ficheroDanado(QStringLiteral("su catálogo declara demasiadas tablas"));
    }
    QSet<QString> vistas;
    for (std::uint32_t i = 0; i < cuantas; ++i) {
        const QString t = nombre(c, "un nombre de tabla");
        // SQLite compares table names without regard to case: two that differ only in it cannot both be.
        if (vistas.contains(t.toUpper())) {
            ficheroDanado(QStringLiteral("su catálogo lista dos veces la tabla %1").arg(t));
        }
        vistas.insert(t.toUpper());
        m_catalogo << t;
    }
    finDeTrama(c);
    m_estado = Estado::Tablas;
}

void LectorFlujo::tabla(const char* carga, std::size_t n) {
    if (m_estado != Estado::Tablas || m_tablas.size() >= static_cast<std::size_t>(m_catalogo.size())) {
        ficheroDanado(QStringLiteral("su lectura dio una tabla fuera de lugar"));
    }
    Cursor c(carga, n);
    TablaFlujo t;
    t.nombre = nombre(c, "un nombre de tabla");
    if (t.nombre != m_catalogo[static_cast<qsizetype>(m_tablas.size())]) {
        ficheroDanado(
            QStringLiteral("su lectura dio la tabla %1 fuera del orden del catálogo").arg(t.nombre));
    }
    t.filasDeclaradas = c.i64();
    if (t.filasDeclaradas < 0 || t.filasDeclaradas > flujo::kMaxFilasDeclaradas) {
        ficheroDanado(QStringLiteral("la tabla %1 declara un número de filas no válido").arg(t.nombre));
    }
    const std::uint16_t columnas = c.u16();
    if (columnas == 0 || columnas > flujo::kMaxColumnas) {
        ficheroDanado(QStringLiteral("la tabla %1 declara un número de campos no válido").arg(t.nombre));
    }
    QSet<QString> vistas;
    for (std::uint16_t i = 0; i < columnas; ++i) {
        ColumnaFlujo col;
        col.nombre = nombre(c, "un nombre de campo");
        const std::uint8_t tipo = c.u8();
        const std::uint32_t tam = c.u32();
        if (tipo == 0 || tipo > flujo::kMaxTipoColumna || vistas.contains(col.nombre.toUpper())) {
            ficheroDanado(
                QStringLiteral("el campo %1 de la tabla %2 no es válido").arg(col.nombre, t.nombre));
        }
        vistas.insert(col.nombre.toUpper());
        col.tipo = static_cast<TipoColumna>(tipo);
        if (col.tipo == TipoColumna::Texto) {
            col.tamano = tam > 0 && tam <= static_cast<std::uint32_t>(kMaxTamTexto) ? static_cast<int>(tam)
                                                                                    : kMaxTamTexto;
        }
        t.columnas.push_back(col);
    }
    finDeTrama(c);
    m_tabla = std::move(t);
    m_filas = 0;
    m_valores.assign(m_tabla.columnas.size(), QVariant());
    m_estado = Estado::EnTabla;
    m_receptor.empiezaTabla(m_tabla);
}

void LectorFlujo::fila(const char* carga, std::size_t n) {
    if (m_estado != Estado::EnTabla) {
        ficheroDanado(QStringLiteral("su lectura dio una fila fuera de una tabla"));
    }
    if (m_filas >= m_tabla.filasDeclaradas) {
        ficheroDanado(QStringLiteral("la tabla %1 tiene más filas de las %2 que declara")
                          .arg(m_tabla.nombre)
                          .arg(m_tabla.filasDeclaradas));
    }
    Cursor c(carga, n);
    for (std::size_t i = 0; i < m_tabla.columnas.size(); ++i) {
        m_valores[i] = valor(c, m_tabla.columnas[i], m_tabla.nombre);
    }
    finDeTrama(c);
    m_receptor.fila(m_valores);
    ++m_filas;
}

void LectorFlujo::finTabla() {
    if (m_estado != Estado::EnTabla) {
        ficheroDanado(QStringLiteral("su lectura dio el final de una tabla fuera de lugar"));
    }
    if (m_filas != m_tabla.filasDeclaradas) {
        ficheroDanado(QStringLiteral("la tabla %1 declara %2 filas pero solo se pueden leer %3")
                          .arg(m_tabla.nombre)
                          .arg(m_tabla.filasDeclaradas)
                          .arg(m_filas));
    }
    m_receptor.terminaTabla();
    m_tablas.push_back({m_tabla.nombre, m_filas});
    m_estado = Estado::Tablas;
}

}  // namespace vexilo::importacion
