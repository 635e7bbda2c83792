#include "import/streamreader.h"

#include <QSet>
#include <QStringDecoder>
#include <cmath>
#include <cstring>

#include "engines/datetext.h"

namespace vexilo::importer {

using stream::ColumnKind;
using stream::Value;

namespace {

constexpr std::uint32_t kMaxTables = 32768;  // objects an Access file can hold
constexpr int kMaxTextSize = 255;
// Access keeps dates from 1 January 100 to 31 December 9999.
constexpr double kFirstDay = -657434.0;
constexpr double kDayAfterLast = 2958466.0;

// Reads the fields of one payload; a payload shorter than its fields is a fault in the stream.
class Cursor {
  public:
    Cursor(const char* p, std::size_t n) : m_p(reinterpret_cast<const unsigned char*>(p)), m_n(n) {}
    std::uint64_t integer(int bytes) {
        needs(static_cast<std::size_t>(bytes));
        std::uint64_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) {
            v = (v << 8) | m_p[i];
        }
        advance(static_cast<std::size_t>(bytes));
        return v;
    }
    std::uint8_t u8() { return static_cast<std::uint8_t>(integer(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(integer(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(integer(4)); }
    std::int64_t i64() { return static_cast<std::int64_t>(integer(8)); }
    double real() {
        const std::uint64_t bits = integer(8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    QByteArray bytes() {
        const std::uint32_t n = u32();
        needs(n);
        QByteArray b(reinterpret_cast<const char*>(m_p), static_cast<qsizetype>(n));
        advance(n);
        return b;
    }
    std::size_t remain() const { return m_n; }

  private:
    void needs(std::size_t n) const {
        if (m_n < n) {
            damagedFile(QStringLiteral("su lectura dio una trama cortada"));
        }
    }
    void advance(std::size_t n) {
        m_p += n;
        m_n -= n;
    }
    const unsigned char* m_p;
    std::size_t m_n;
};

void frameEnd(const Cursor& c) {
    if (c.remain() != 0) {
        damagedFile(QStringLiteral("su lectura dio una trama con bytes de más"));
    }
}

QString utf8(const QByteArray& b, const char* what) {
    QStringDecoder d(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString s = d(b);
    if (d.hasError()) {
        damagedFile(QStringLiteral("su lectura dio %1 que no es texto UTF-8").arg(QLatin1String(what)));
    }
    return s;
}

QString name(Cursor& c, const char* what) {
    const QByteArray b = c.bytes();
    if (b.isEmpty() || b.size() > static_cast<qsizetype>(stream::kMaxName) || b.contains('\0')) {
        damagedFile(QStringLiteral("su lectura dio %1 no válido").arg(QLatin1String(what)));
    }
    return utf8(b, what);
}

Value tagOf(ColumnKind t) {
    switch (t) {
        case ColumnKind::Byte:
        case ColumnKind::Integer:
        case ColumnKind::LongInteger:
        case ColumnKind::Boolean:
            return Value::Integer;
        case ColumnKind::Currency:
        case ColumnKind::Simple:
        case ColumnKind::Double:
        case ColumnKind::Numeric:
            return Value::Real;
        case ColumnKind::Fecha:
            return Value::Fecha;
        case ColumnKind::Text:
        case ColumnKind::Memo:
        case ColumnKind::Guid:
            return Value::Text;
        case ColumnKind::Ole:
        case ColumnKind::Binary:
            return Value::Bytes;
    }
    return Value::Null;
}

bool inRange(ColumnKind t, std::int64_t v) {
    switch (t) {
        case ColumnKind::Byte:
            return v >= 0 && v <= 255;
        case ColumnKind::Integer:
            return v >= -32768 && v <= 32767;
        case ColumnKind::Boolean:
            return v == 0 || v == 1;
        default:
            return v >= INT32_MIN && v <= INT32_MAX;
    }
}

QVariant valor(Cursor& c, const StreamColumn& col, const QString& table) {
    const auto tag = static_cast<Value>(c.u8());
    auto bad = [&]() {
        damagedFile(
            QStringLiteral("el campo %1 de la tabla %2 tiene un valor no válido").arg(col.name, table));
    };
    if (tag == Value::Null && col.tipo != ColumnKind::Boolean) {
        return QVariant();
    }
    if (tag != tagOf(col.tipo)) {
        bad();
    }
    switch (tag) {
        case Value::Integer: {
            const std::int64_t v = c.i64();
            if (!inRange(col.tipo, v)) {
                bad();
            }
            return QVariant(static_cast<qint64>(v));
        }
        case Value::Real: {
            const double d = c.real();
            if (!std::isfinite(d)) {
                bad();
            }
            return QVariant(d);
        }
        case Value::Fecha: {
            const double d = c.real();
            if (!(d >= kFirstDay && d < kDayAfterLast)) {
                bad();
            }
            // Stored as the engine layer stores dates, so that the job reads them alike.
            return QVariant(accessDate(d).toString(engines::kStoredDateFormat));
        }
        case Value::Text: {
            const QString s = utf8(c.bytes(), "un texto");
            if (col.tipo == ColumnKind::Text && s.size() > col.size) {
                bad();
            }
            return QVariant(s);
        }
        default:
            return QVariant(c.bytes());
    }
}

}  // namespace

void damagedFile(const QString& detail) {
    throw ImportError(QStringLiteral("El fichero de Access está dañado: ") + detail + QChar('.'));
}

void StreamReader::feed(const char* data, std::size_t n) {
    m_pending.append(data, static_cast<qsizetype>(n));
    qsizetype start = 0;
    while (m_pending.size() - start >= static_cast<qsizetype>(stream::kFrameHeader)) {
        const auto* p = reinterpret_cast<const unsigned char*>(m_pending.constData() + start);
        const std::uint32_t payload =
            p[1] | (p[2] << 8) | (p[3] << 16) | (static_cast<std::uint32_t>(p[4]) << 24);
        if (payload > stream::kMaxPayload) {
            damagedFile(QStringLiteral("su lectura dio una trama demasiado grande"));
        }
        const qsizetype total = static_cast<qsizetype>(stream::kFrameHeader + payload);
        if (m_pending.size() - start < total) {
            break;
        }
        frame(p[0], reinterpret_cast<const char*>(p) + stream::kFrameHeader, payload);
        start += total;
    }
    m_pending.remove(0, start);
}

void StreamReader::finish() const {
    if (m_state != State::End || !m_pending.isEmpty()) {
        damagedFile(QStringLiteral("su lectura terminó antes de leer todas las tablas"));
    }
}

void StreamReader::frame(std::uint8_t tipo, const char* payload, std::size_t n) {
    Cursor c(payload, n);
    if (m_state == State::End) {
        damagedFile(QStringLiteral("su lectura dio datos tras el final"));
    }
    switch (tipo) {
        case stream::kDamaged:
        case stream::kError: {
            const QByteArray b = c.bytes();
            frameEnd(c);
            const QString texto = b.size() <= static_cast<qsizetype>(stream::kMaxMessage)
                                      ? utf8(b, "un mensaje")
                                      : QStringLiteral("(mensaje demasiado largo)");
            if (tipo == stream::kDamaged) {
                damagedFile(texto);
            }
            throw ImportError(texto);
        }
        case stream::kCatalog:
            return catalog(payload, n);
        case stream::kTable:
            return table(payload, n);
        case stream::kRow:
            return row(payload, n);
        case stream::kEndTable:
            frameEnd(c);
            return tableEnd();
        case stream::kEnd:
            frameEnd(c);
            if (m_state != State::Tables || m_tables.size() != static_cast<std::size_t>(m_catalog.size())) {
                damagedFile(QStringLiteral("su lectura terminó antes de leer todas las tablas"));
            }
            m_state = State::End;
            return;
        default:
            damagedFile(QStringLiteral("su lectura dio una trama desconocida"));
    }
}

void StreamReader::catalog(const char* payload, std::size_t n) {
    if (m_state != State::Catalog) {
        damagedFile(QStringLiteral("su lectura dio el catálogo fuera de lugar"));
    }
    Cursor c(payload, n);
    const std::uint32_t count = c.u32();
    if (count > kMaxTables) {
        damagedFile(QStringLiteral("su catálogo declara demasiadas tablas"));
    }
    QSet<QString> views;
    for (std::uint32_t i = 0; i < count; ++i) {
        const QString t = name(c, "un nombre de tabla");
        // SQLite compares table names without regard to case: two that differ only in it cannot both be.
        if (views.contains(t.toUpper())) {
            damagedFile(QStringLiteral("su catálogo lista dos veces la tabla %1").arg(t));
        }
        views.insert(t.toUpper());
        m_catalog << t;
    }
    frameEnd(c);
    m_state = State::Tables;
}

void StreamReader::table(const char* payload, std::size_t n) {
    if (m_state != State::Tables || m_tables.size() >= static_cast<std::size_t>(m_catalog.size())) {
        damagedFile(QStringLiteral("su lectura dio una tabla fuera de lugar"));
    }
    Cursor c(payload, n);
    StreamTable t;
    t.name = name(c, "un nombre de tabla");
    if (t.name != m_catalog[static_cast<qsizetype>(m_tables.size())]) {
        damagedFile(QStringLiteral("su lectura dio la tabla %1 fuera del orden del catálogo").arg(t.name));
    }
    t.declaredRows = c.i64();
    if (t.declaredRows < 0 || t.declaredRows > stream::kMaxDeclaredRows) {
        damagedFile(QStringLiteral("la tabla %1 declara un número de filas no válido").arg(t.name));
    }
    const std::uint16_t columns = c.u16();
    if (columns == 0 || columns > stream::kMaxColumns) {
        damagedFile(QStringLiteral("la tabla %1 declara un número de campos no válido").arg(t.name));
    }
    QSet<QString> views;
    for (std::uint16_t i = 0; i < columns; ++i) {
        StreamColumn col;
        col.name = name(c, "un nombre de campo");
        const std::uint8_t tipo = c.u8();
        const std::uint32_t size = c.u32();
        if (tipo == 0 || tipo > stream::kMaxColumnKind || views.contains(col.name.toUpper())) {
            damagedFile(QStringLiteral("el campo %1 de la tabla %2 no es válido").arg(col.name, t.name));
        }
        views.insert(col.name.toUpper());
        col.tipo = static_cast<ColumnKind>(tipo);
        if (col.tipo == ColumnKind::Text) {
            col.size = size > 0 && size <= static_cast<std::uint32_t>(kMaxTextSize) ? static_cast<int>(size)
                                                                                    : kMaxTextSize;
        }
        t.columns.push_back(col);
    }
    frameEnd(c);
    m_table = std::move(t);
    m_rows = 0;
    m_values.assign(m_table.columns.size(), QVariant());
    m_state = State::InTable;
    m_receptor.beginTable(m_table);
}

void StreamReader::row(const char* payload, std::size_t n) {
    if (m_state != State::InTable) {
        damagedFile(QStringLiteral("su lectura dio una fila fuera de una tabla"));
    }
    if (m_rows >= m_table.declaredRows) {
        damagedFile(QStringLiteral("la tabla %1 tiene más filas de las %2 que declara")
                        .arg(m_table.name)
                        .arg(m_table.declaredRows));
    }
    Cursor c(payload, n);
    for (std::size_t i = 0; i < m_table.columns.size(); ++i) {
        m_values[i] = valor(c, m_table.columns[i], m_table.name);
    }
    frameEnd(c);
    m_receptor.row(m_values);
    ++m_rows;
}

void StreamReader::tableEnd() {
    if (m_state != State::InTable) {
        damagedFile(QStringLiteral("su lectura dio el final de una tabla fuera de lugar"));
    }
    if (m_rows != m_table.declaredRows) {
        damagedFile(QStringLiteral("la tabla %1 declara %2 filas pero solo se pueden leer %3")
                        .arg(m_table.name)
                        .arg(m_table.declaredRows)
                        .arg(m_rows));
    }
    m_receptor.endTable();
    m_tables.push_back({m_table.name, m_rows});
    m_state = State::Tables;
}

}  // namespace vexilo::importer
