// The importer's reading of the helper's stream: a correct stream arrives whole however it is cut into
// pieces, and every fault in a stream built correct and then broken ends in ImportError.
#include "import/streamreader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace vexilo::importer {
namespace {

using stream::ColumnKind;
using stream::Value;

const QString kDamaged = QStringLiteral("El fichero de Access está dañado: ");

class Recorder : public Receptor {
  public:
    void beginTable(const StreamTable& t) override { tables << t.name; }
    void row(const std::vector<QVariant>& values) override { rows.push_back(values); }
    void endTable() override { ++finished; }
    QStringList tables;
    std::vector<std::vector<QVariant>> rows;
    int finished = 0;
};

// A stream built from its parts with the writer the helper uses.
class Stream {
  public:
    Stream()
        : m_w([this](std::string_view t) { m_bytes.append(t.data(), static_cast<qsizetype>(t.size())); }) {}
    Stream& catalog(const std::vector<std::string>& tables) {
        m_w.begin(stream::kCatalog);
        m_w.u32(static_cast<std::uint32_t>(tables.size()));
        for (const auto& t : tables) {
            m_w.putString(t);
        }
        m_w.finish();
        return *this;
    }
    Stream& table(const std::string& name, std::int64_t rows,
                  const std::vector<std::tuple<std::string, ColumnKind, std::uint32_t>>& columns) {
        m_w.begin(stream::kTable);
        m_w.putString(name);
        m_w.i64(rows);
        m_w.u16(static_cast<std::uint16_t>(columns.size()));
        for (const auto& [n, tipo, size] : columns) {
            m_w.putString(n);
            m_w.u8(static_cast<std::uint8_t>(tipo));
            m_w.u32(size);
        }
        m_w.finish();
        return *this;
    }
    // A row of values, each written by one function of the writer.
    Stream& row(const std::vector<std::function<void(stream::Writer&)>>& values) {
        m_w.begin(stream::kRow);
        for (const auto& v : values) {
            v(m_w);
        }
        m_w.finish();
        return *this;
    }
    Stream& frame(stream::Frame t) {
        m_w.frame(t);
        return *this;
    }
    Stream& frame(stream::Frame t, const std::string& texto) {
        m_w.frame(t, texto);
        return *this;
    }
    Stream& raw(const QByteArray& b) {
        m_bytes += b;
        return *this;
    }
    const QByteArray& bytes() const { return m_bytes; }

  private:
    QByteArray m_bytes;
    stream::Writer m_w;
};

std::function<void(stream::Writer&)> integer(std::int64_t v) {
    return [v](stream::Writer& w) {
        w.u8(static_cast<std::uint8_t>(Value::Integer));
        w.i64(v);
    };
}
std::function<void(stream::Writer&)> real(Value tag, double d) {
    return [tag, d](stream::Writer& w) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        w.u8(static_cast<std::uint8_t>(tag));
        w.i64(static_cast<std::int64_t>(bits));
    };
}
std::function<void(stream::Writer&)> texto(const std::string& s, Value tag = Value::Text) {
    return [s, tag](stream::Writer& w) {
        w.u8(static_cast<std::uint8_t>(tag));
        w.putString(s);
    };
}
std::function<void(stream::Writer&)> null() {
    return [](stream::Writer& w) { w.u8(static_cast<std::uint8_t>(Value::Null)); };
}

const std::vector<std::tuple<std::string, ColumnKind, std::uint32_t>> kColumns{
    {"Id", ColumnKind::LongInteger, 0},
    {"Nombre", ColumnKind::Text, 5},
    {"Alta", ColumnKind::Fecha, 0},
    {"Foto", ColumnKind::Ole, 0}};

Stream correct() {
    Stream f;
    f.catalog({"Clientes", "Vacía"})
        .table("Clientes", 2, kColumns)
        .row({integer(1), texto("Peña"), real(Value::Fecha, 36526.75),
              texto(std::string("\0\1", 2), Value::Bytes)})
        .row({integer(2), null(), null(), null()})
        .frame(stream::kEndTable)
        .table("Vacía", 0, {{"x", ColumnKind::Memo, 0}})
        .frame(stream::kEndTable)
        .frame(stream::kEnd);
    return f;
}

void read(const QByteArray& b, Receptor& r, std::size_t chunk) {
    StreamReader reader(r);
    for (qsizetype i = 0; i < b.size(); i += static_cast<qsizetype>(chunk)) {
        reader.feed(b.constData() + i, std::min<std::size_t>(chunk, static_cast<std::size_t>(b.size() - i)));
    }
    reader.finish();
}

TEST(StreamReader, ACorrectStreamArrivesWholeHoweverThePipeCutsIt) {
    const QByteArray b = correct().bytes();
    for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, static_cast<std::size_t>(b.size())}) {
        Recorder g;
        read(b, g, chunk);
        EXPECT_EQ(g.tables, QStringList({QStringLiteral("Clientes"), QStringLiteral("Vacía")}));
        EXPECT_EQ(g.finished, 2);
        ASSERT_EQ(g.rows.size(), 2u);
        EXPECT_EQ(g.rows[0][0].toLongLong(), 1);
        EXPECT_EQ(g.rows[0][1].toString(), QStringLiteral("Peña"));
        EXPECT_EQ(g.rows[0][2].toString(), QStringLiteral("2000-01-01 18:00:00"));
        EXPECT_EQ(g.rows[0][3].toByteArray(), QByteArray("\0\1", 2));
        EXPECT_TRUE(g.rows[1][1].isNull());
        EXPECT_TRUE(g.rows[1][3].isNull());
    }
}

// A stream built correct up to its fault; the message each fault gives.
TEST(StreamReader, EveryFaultInTheStreamIsADamagedFile) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto withRow = [](const std::vector<std::function<void(stream::Writer&)>>& values) {
        Stream f;
        f.catalog({"T"}).table("T", 1, kColumns).row(values).frame(stream::kEndTable).frame(stream::kEnd);
        return f.bytes();
    };
    const std::vector<std::pair<QByteArray, QString>> cases{
        {Stream().catalog({"T"}).bytes(), "su lectura terminó antes de leer todas las tablas"},
        {Stream().catalog({"T"}).frame(stream::kEnd).bytes(),
         "su lectura terminó antes de leer todas las tablas"},
        {Stream().catalog({"A", "B"}).table("B", 0, kColumns).bytes(),
         "su lectura dio la tabla B fuera del orden"},
        {Stream().catalog({"T", "t"}).bytes(), "su catálogo lista dos veces la tabla t"},
        {Stream().catalog({""}).bytes(), "su lectura dio un nombre de tabla no válido"},
        {Stream().table("T", 0, kColumns).bytes(), "su lectura dio una tabla fuera de lugar"},
        {Stream().catalog({"T"}).table("T", 0, kColumns).row({integer(1), null(), null(), null()}).bytes(),
         "la tabla T tiene más filas de las 0 que declara"},
        {Stream().catalog({"T"}).table("T", 3, kColumns).frame(stream::kEndTable).bytes(),
         "la tabla T declara 3 filas pero solo se pueden leer 0"},
        {Stream().catalog({"T"}).table("T", -1, kColumns).bytes(),
         "la tabla T declara un número de filas no válido"},
        {Stream().catalog({"T"}).table("T", 0, {}).bytes(),
         "la tabla T declara un número de campos no válido"},
        {Stream()
             .catalog({"T"})
             .table("T", 0, {{"a", ColumnKind::Memo, 0}, {"A", ColumnKind::Memo, 0}})
             .bytes(),
         "el campo A de la tabla T no es válido"},
        {Stream().catalog({"T"}).table("T", 0, {{"a", static_cast<ColumnKind>(99), 0}}).bytes(),
         "el campo a de la tabla T no es válido"},
        {withRow({texto("1"), null(), null(), null()}), "el campo Id de la tabla T tiene un valor no válido"},
        {withRow({integer(1LL << 40), null(), null(), null()}),
         "el campo Id de la tabla T tiene un valor no válido"},
        {withRow({integer(1), texto("seis!!"), null(), null()}),
         "el campo Nombre de la tabla T tiene un valor no válido"},
        {withRow({integer(1), texto("\xff"), null(), null()}),
         "su lectura dio un texto que no es texto UTF-8"},
        {withRow({integer(1), null(), real(Value::Fecha, nan), null()}),
         "el campo Alta de la tabla T tiene un valor no válido"},
        {withRow({integer(1), null(), real(Value::Fecha, 3e6), null()}),
         "el campo Alta de la tabla T tiene un valor no válido"},
        {withRow({integer(1), null(), null()}), "su lectura dio una trama cortada"},
        {withRow({integer(1), null(), null(), null(), null()}), "su lectura dio una trama con bytes de más"},
        {correct().frame(stream::kEnd).bytes(), "su lectura dio datos tras el final"},
        {correct().raw("Z").bytes(), "su lectura terminó antes de leer todas las tablas"},
        {Stream().raw(QByteArray("F\xff\xff\xff\x7f", 5)).bytes(),
         "su lectura dio una trama demasiado grande"},
        {Stream().frame(stream::kDamaged, "la tabla X no se puede leer").bytes(),
         "la tabla X no se puede leer"},
    };
    for (const auto& [bytes, detail] : cases) {
        SCOPED_TRACE(detail.toStdString());
        Recorder g;
        try {
            read(bytes, g, static_cast<std::size_t>(std::max<qsizetype>(bytes.size(), 1)));
            ADD_FAILURE() << "a faulty stream was read as correct";
        } catch (const ImportError& e) {
            EXPECT_TRUE(e.message().startsWith(kDamaged + detail)) << e.message().toStdString();
        }
    }
}

TEST(StreamReader, AFailureThatIsNotDamageKeepsItsOwnMessage) {
    Recorder g;
    try {
        read(Stream().catalog({"T"}).frame(stream::kError, "El campo M es demasiado largo.").bytes(), g, 3);
        FAIL() << "an error frame was ignored";
    } catch (const ImportError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("El campo M es demasiado largo."));
    }
}

}  // namespace
}  // namespace vexilo::importer
