#include "tools/accessreader/accessreader.h"

// libmdb's header opens an extern "C" block and includes <glib.h> inside it; glib's C++ parts must be
// seen first, outside that block.
#include <glib.h>
#include <mdbtools.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vexilo::accessreader {

namespace stream = importer::stream;
namespace {

using stream::ColumnKind;
using stream::Frame;
using stream::Value;

constexpr int kOffsetMask = 0x1fff;         // row offsets in a data page carry flags in their top bits
constexpr std::size_t kMemoSize = 1 << 22;  // bytes a memo may take once in UTF-8 (libmdb cuts it here)
constexpr std::size_t kTextSize = 4096;     // a text of at most 255 characters, in UTF-8, fits easily
constexpr unsigned long kCatalogPage = 2;   // the table definition of MSysObjects

// What ends the reading early: damage ('D') or a value that cannot be imported ('X').
struct Failure {
    Frame tipo;
    std::string message;
};

[[noreturn]] void damaged(std::string message) {
    throw Failure{stream::kDamaged, std::move(message)};
}

struct MdbCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using Mdb = std::unique_ptr<MdbHandle, MdbCloser>;
using Table = std::unique_ptr<MdbTableDef, TableFreer>;

struct Column {
    MdbColumn* col = nullptr;
    ColumnKind tipo = ColumnKind::Text;
    std::vector<char> buffer;  // bound buffer, for the kinds libmdb must convert (texts, numerics, OLE)
};

ColumnKind kindOf(int tipo) {
    switch (tipo) {
        case MDB_BOOL:
            return ColumnKind::Boolean;
        case MDB_BYTE:
            return ColumnKind::Byte;
        case MDB_INT:
            return ColumnKind::Integer;
        case MDB_LONGINT:
            return ColumnKind::LongInteger;
        case MDB_MONEY:
            return ColumnKind::Currency;
        case MDB_FLOAT:
            return ColumnKind::Simple;
        case MDB_DOUBLE:
            return ColumnKind::Double;
        case MDB_DATETIME:
            return ColumnKind::Fecha;
        case MDB_TEXT:
            return ColumnKind::Text;
        case MDB_MEMO:
            return ColumnKind::Memo;
        case MDB_NUMERIC:
            return ColumnKind::Numeric;
        case MDB_REPID:
            return ColumnKind::Guid;
        case MDB_OLE:
            return ColumnKind::Ole;
        default:
            return ColumnKind::Binary;
    }
}

bool isLinked(ColumnKind t) {
    return t == ColumnKind::Text || t == ColumnKind::Memo || t == ColumnKind::Numeric ||
           t == ColumnKind::Guid || t == ColumnKind::Ole;
}

std::vector<Column> columns(MdbTableDef* t) {
    std::vector<Column> v(t->num_cols);
    for (unsigned i = 0; i < t->num_cols; ++i) {
        Column& c = v[i];
        c.col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
        c.tipo = kindOf(c.col->col_type);
        if (isLinked(c.tipo)) {
            // libmdb copies at most its bind size into the buffer: memos and OLE chunks need the large one.
            const bool large = c.tipo == ColumnKind::Memo || c.tipo == ColumnKind::Ole;
            c.buffer.assign(large ? kMemoSize : kTextSize, '\0');
            mdb_bind_column(t, static_cast<int>(i) + 1, c.buffer.data(), nullptr);
        }
    }
    return v;
}

std::uint32_t textSize(const Column& c, bool jet3) {
    if (c.tipo != ColumnKind::Text || c.col->col_size <= 0) {
        return 0;
    }
    // Jet 4 and later store texts as UTF-16: the declared size is in bytes.
    return static_cast<std::uint32_t>(jet3 ? c.col->col_size : c.col->col_size / 2);
}

void sendTable(stream::Writer& w, const MdbTableDef* t, const std::vector<Column>& cols, bool jet3) {
    w.begin(stream::kTable);
    w.putString(t->name);
    w.i64(t->num_rows);
    w.u16(static_cast<std::uint16_t>(cols.size()));
    for (const Column& c : cols) {
        w.putString(c.col->name);
        w.u8(static_cast<std::uint8_t>(c.tipo));
        w.u32(textSize(c, jet3));
    }
    w.finish();
}

std::uint64_t le(const unsigned char* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

std::int64_t signed_(std::uint64_t v, int n) {
    const int offset = 64 - 8 * n;
    return static_cast<std::int64_t>(v << offset) >> offset;
}

double real(std::uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

void integer(stream::Writer& w, std::int64_t v) {
    w.u8(static_cast<std::uint8_t>(Value::Integer));
    w.i64(v);
}

void writeDouble(stream::Writer& w, Value tag, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    w.u8(static_cast<std::uint8_t>(tag));
    w.i64(static_cast<std::int64_t>(bits));
}

void bytes(stream::Writer& w, Value tag, const void* p, std::size_t n) {
    w.u8(static_cast<std::uint8_t>(tag));
    w.putString(std::string_view(static_cast<const char*>(p), n));
}

// The fixed width a kind takes in the row, or 0 for the kinds of variable width.
std::size_t width(ColumnKind t) {
    switch (t) {
        case ColumnKind::Byte:
            return 1;
        case ColumnKind::Integer:
            return 2;
        case ColumnKind::LongInteger:
        case ColumnKind::Simple:
            return 4;
        case ColumnKind::Currency:
        case ColumnKind::Double:
        case ColumnKind::Fecha:
            return 8;
        default:
            return 0;
    }
}

// One column's value in the row libmdb has just fetched. Null comes from the row itself: a bound text
// reads "" both for Null and for an empty text.
void writeValue(stream::Writer& w, MdbHandle* mdb, Column& c, const MdbField& f, const char* table) {
    if (c.tipo == ColumnKind::Boolean) {
        integer(w, f.is_null ? 0 : 1);  // a yes/no column keeps its value in the null bit
        return;
    }
    if (f.is_null) {
        w.u8(static_cast<std::uint8_t>(Value::Null));
        return;
    }
    const std::size_t needs = width(c.tipo) ? width(c.tipo) : static_cast<std::size_t>(f.siz);
    if (f.start < 0 || f.siz < 0 || f.start + needs > static_cast<std::size_t>(mdb->fmt->pg_size)) {
        damaged(std::string("una fila de la tabla ") + table + " tiene un campo fuera de su página");
    }
    const unsigned char* p = mdb->pg_buf + f.start;
    switch (c.tipo) {
        case ColumnKind::Byte:
            return integer(w, p[0]);
        case ColumnKind::Integer:
        case ColumnKind::LongInteger:
            return integer(w,
                           signed_(le(p, static_cast<int>(width(c.tipo))), static_cast<int>(width(c.tipo))));
        case ColumnKind::Currency:
            return writeDouble(w, Value::Real, static_cast<double>(signed_(le(p, 8), 8)) / 10000.0);
        case ColumnKind::Simple: {
            const auto bits = static_cast<std::uint32_t>(le(p, 4));
            float x;
            std::memcpy(&x, &bits, sizeof x);
            return writeDouble(w, Value::Real, static_cast<double>(x));
        }
        case ColumnKind::Double:
            return writeDouble(w, Value::Real, real(le(p, 8)));
        case ColumnKind::Fecha:
            return writeDouble(w, Value::Fecha, real(le(p, 8)));
        case ColumnKind::Binary:
            return bytes(w, Value::Bytes, p, static_cast<std::size_t>(f.siz));
        case ColumnKind::Ole: {
            std::size_t size = 0;
            void* data = mdb_ole_read_full(mdb, c.col, &size);
            bytes(w, Value::Bytes, data, data ? size : 0);
            std::free(data);  // allocated by libmdb with malloc
            return;
        }
        case ColumnKind::Numeric:
            return writeDouble(w, Value::Real, std::strtod(c.buffer.data(), nullptr));
        default:
            break;
    }
    const std::size_t n = strnlen(c.buffer.data(), c.buffer.size());
    if (n + 1 >= c.buffer.size()) {
        throw Failure{stream::kError, std::string("El campo ") + c.col->name + " de la tabla " + table +
                                          " tiene un texto demasiado largo para importarlo."};
    }
    bytes(w, Value::Text, c.buffer.data(), n);
}

// The fields of the row just fetched, by column position, with their Null flags and raw bytes.
std::vector<MdbField> fields(MdbHandle* mdb, MdbTableDef* t) {
    int start = 0;
    std::size_t size = 0;
    std::vector<MdbField> f(MDB_MAX_COLS);
    if (mdb_find_row(mdb, static_cast<int>(t->cur_row) - 1, &start, &size) != 0) {
        damaged(std::string("no se puede leer una fila de la tabla ") + t->name);
    }
    const int n = mdb_crack_row(t, start & kOffsetMask, size, f.data());
    std::vector<MdbField> perColumn(t->num_cols);
    for (int i = 0; i < n && i < MDB_MAX_COLS; ++i) {
        if (f[i].colnum >= 0 && f[i].colnum < static_cast<int>(t->num_cols)) {
            perColumn[f[i].colnum] = f[i];
        }
    }
    return perColumn;
}

void copyTable(stream::Writer& w, MdbHandle* mdb, MdbCatalogEntry* input) {
    Table t(mdb_read_table(input));
    if (!t || !mdb_read_columns(t.get())) {
        damaged(std::string("no se puede leer la tabla ") + input->object_name);
    }
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    std::vector<Column> cols = columns(t.get());
    sendTable(w, t.get(), cols, jet3);
    mdb_rewind_table(t.get());
    std::int64_t rows = 0;
    while (mdb_fetch_row(t.get())) {
        std::vector<MdbField> f = fields(mdb, t.get());
        w.begin(stream::kRow);
        for (std::size_t i = 0; i < cols.size(); ++i) {
            writeValue(w, mdb, cols[i], f[i], t->name);
        }
        w.finish();
        ++rows;
    }
    if (rows != static_cast<std::int64_t>(t->num_rows)) {
        damaged(std::string("la tabla ") + t->name + " declara " + std::to_string(t->num_rows) +
                " filas pero solo se pueden leer " + std::to_string(rows));
    }
    w.frame(stream::kEndTable);
}

// The number of objects MSysObjects declares: a catalog read short of it lost objects.
unsigned int declaredObjects(MdbHandle* mdb) {
    MdbCatalogEntry msys;
    std::memset(&msys, 0, sizeof msys);
    msys.mdb = mdb;
    msys.object_type = MDB_TABLE;
    msys.table_pg = kCatalogPage;
    std::strcpy(msys.object_name, "MSysObjects");
    Table t(mdb_read_table(&msys));
    if (!t) {
        damaged("no se puede leer su catálogo");
    }
    return t->num_rows;
}

std::vector<MdbCatalogEntry*> userTables(MdbHandle* mdb) {
    const unsigned int declared = declaredObjects(mdb);
    if (!mdb_read_catalog(mdb, MDB_ANY)) {
        damaged("no se puede leer su catálogo");
    }
    if (mdb->num_catalog != declared) {
        damaged("su catálogo declara " + std::to_string(declared) + " objetos pero solo se pueden leer " +
                std::to_string(mdb->num_catalog));
    }
    std::vector<MdbCatalogEntry*> tables;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type == MDB_TABLE && mdb_is_user_table(e)) {
            tables.push_back(e);
        }
    }
    return tables;
}

void readAll(const char* source, stream::Writer& w) {
    Mdb mdb(mdb_open(source, MDB_NOFLAGS));
    if (!mdb) {
        damaged("no se puede abrir");
    }
    // The catalog is read with libmdb's own bind size: it binds MSysObjects' columns to buffers of
    // that size, and a larger one overflows them and makes it allocate without end.
    const std::vector<MdbCatalogEntry*> tables = userTables(mdb.get());
    mdb_set_bind_size(mdb.get(), kMemoSize);
    w.begin(stream::kCatalog);
    w.u32(static_cast<std::uint32_t>(tables.size()));
    for (const MdbCatalogEntry* e : tables) {
        w.putString(e->object_name);
    }
    w.finish();
    for (MdbCatalogEntry* e : tables) {
        copyTable(w, mdb.get(), e);
    }
}

}  // namespace

void readAccess(const char* source, stream::Writer& w) {
    try {
        readAll(source, w);
        w.frame(stream::kEnd);
    } catch (const Failure& f) {
        w.frame(f.tipo, f.message);
    }
}

}  // namespace vexilo::accessreader
