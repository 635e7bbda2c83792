#include "tools/accessreader/leeaccess.h"

// libmdb's header opens an extern "C" block and includes <glib.h> inside it; glib's C++ parts must be
// seen first, outside that block.
#include <glib.h>
#include <mdbtools.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vexilo::importacion {
namespace {

using flujo::TipoColumna;
using flujo::Trama;
using flujo::Valor;

constexpr int kOffsetMask = 0x1fff;           // row offsets in a data page carry flags in their top bits
constexpr std::size_t kTamMemo = 1 << 22;     // bytes a memo may take once in UTF-8 (libmdb cuts it here)
constexpr std::size_t kTamTexto = 4096;       // a text of at most 255 characters, in UTF-8, fits easily
constexpr unsigned long kPaginaCatalogo = 2;  // the table definition of MSysObjects

// What ends the reading early: damage ('D') or a value that cannot be imported ('X').
struct Fallo {
    Trama tipo;
    std::string mensaje;
};

[[noreturn]] void danado(std::string mensaje) {
    throw Fallo{flujo::kDanado, std::move(mensaje)};
}

struct CierraMdb {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct LiberaTabla {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using Mdb = std::unique_ptr<MdbHandle, CierraMdb>;
using Tabla = std::unique_ptr<MdbTableDef, LiberaTabla>;

struct Columna {
    MdbColumn* col = nullptr;
    TipoColumna tipo = TipoColumna::Texto;
    std::vector<char> buffer;  // bound buffer, for the kinds libmdb must convert (texts, numerics, OLE)
};

TipoColumna tipoDe(int tipo) {
    switch (tipo) {
        case MDB_BOOL:
            return TipoColumna::Logico;
        case MDB_BYTE:
            return TipoColumna::Byte;
        case MDB_INT:
            return TipoColumna::Entero;
        case MDB_LONGINT:
            return TipoColumna::EnteroLargo;
        case MDB_MONEY:
            return TipoColumna::Moneda;
        case MDB_FLOAT:
            return TipoColumna::Simple;
        case MDB_DOUBLE:
            return TipoColumna::Doble;
        case MDB_DATETIME:
            return TipoColumna::Fecha;
        case MDB_TEXT:
            return TipoColumna::Texto;
        case MDB_MEMO:
            return TipoColumna::Memo;
        case MDB_NUMERIC:
            return TipoColumna::Numerico;
        case MDB_REPID:
            return TipoColumna::Guid;
        case MDB_OLE:
            return TipoColumna::Ole;
        default:
            return TipoColumna::Binario;
    }
}

bool seEnlaza(TipoColumna t) {
    return t == TipoColumna::Texto || t == TipoColumna::Memo || t == TipoColumna::Numerico ||
           t == TipoColumna::Guid || t == TipoColumna::Ole;
}

std::vector<Columna> columnas(MdbTableDef* t) {
    std::vector<Columna> v(t->num_cols);
    for (unsigned i = 0; i < t->num_cols; ++i) {
        Columna& c = v[i];
        c.col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
        c.tipo = tipoDe(c.col->col_type);
        if (seEnlaza(c.tipo)) {
            // libmdb copies at most its bind size into the buffer: memos and OLE chunks need the large one.
            const bool grande = c.tipo == TipoColumna::Memo || c.tipo == TipoColumna::Ole;
            c.buffer.assign(grande ? kTamMemo : kTamTexto, '\0');
            mdb_bind_column(t, static_cast<int>(i) + 1, c.buffer.data(), nullptr);
        }
    }
    return v;
}

std::uint32_t tamanoTexto(const Columna& c, bool jet3) {
    if (c.tipo != TipoColumna::Texto || c.col->col_size <= 0) {
        return 0;
    }
    // Jet 4 and later store texts as UTF-16: the declared size is in bytes.
    return static_cast<std::uint32_t>(jet3 ? c.col->col_size : c.col->col_size / 2);
}

void enviaTabla(flujo::Escritor& w, const MdbTableDef* t, const std::vector<Columna>& cols, bool jet3) {
    w.empieza(flujo::kTabla);
    w.cadena(t->name);
    w.i64(t->num_rows);
    w.u16(static_cast<std::uint16_t>(cols.size()));
    for (const Columna& c : cols) {
        w.cadena(c.col->name);
        w.u8(static_cast<std::uint8_t>(c.tipo));
        w.u32(tamanoTexto(c, jet3));
    }
    w.termina();
}

std::uint64_t le(const unsigned char* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

std::int64_t conSigno(std::uint64_t v, int n) {
    const int desplazamiento = 64 - 8 * n;
    return static_cast<std::int64_t>(v << desplazamiento) >> desplazamiento;
}

double real(std::uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

void entero(flujo::Escritor& w, std::int64_t v) {
    w.u8(static_cast<std::uint8_t>(Valor::Entero));
    w.i64(v);
}

void doble(flujo::Escritor& w, Valor tag, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    w.u8(static_cast<std::uint8_t>(tag));
    w.i64(static_cast<std::int64_t>(bits));
}

void bytes(flujo::Escritor& w, Valor tag, const void* p, std::size_t n) {
    w.u8(static_cast<std::uint8_t>(tag));
    w.cadena(std::string_view(static_cast<const char*>(p), n));
}

// The fixed width a kind takes in the row, or 0 for the kinds of variable width.
std::size_t ancho(TipoColumna t) {
    switch (t) {
        case TipoColumna::Byte:
            return 1;
        case TipoColumna::Entero:
            return 2;
        case TipoColumna::EnteroLargo:
        case TipoColumna::Simple:
            return 4;
        case TipoColumna::Moneda:
        case TipoColumna::Doble:
        case TipoColumna::Fecha:
            return 8;
        default:
            return 0;
    }
}

// One column's value in the row libmdb has just fetched. Null comes from the row itself: a bound text
// reads "" both for Null and for an empty text.
void valor(flujo::Escritor& w, MdbHandle* mdb, Columna& c, const MdbField& f, const char* tabla) {
    if (c.tipo == TipoColumna::Logico) {
        entero(w, f.is_null ? 0 : 1);  // a yes/no column keeps its value in the null bit
        return;
    }
    if (f.is_null) {
        w.u8(static_cast<std::uint8_t>(Valor::Nulo));
        return;
    }
    const std::size_t necesita = ancho(c.tipo) ? ancho(c.tipo) : static_cast<std::size_t>(f.siz);
    if (f.start < 0 || f.siz < 0 || f.start + necesita > static_cast<std::size_t>(mdb->fmt->pg_size)) {
        danado(std::string("una fila de la tabla ") + tabla + " tiene un campo fuera de su página");
    }
    const unsigned char* p = mdb->pg_buf + f.start;
    switch (c.tipo) {
        case TipoColumna::Byte:
            return entero(w, p[0]);
        case TipoColumna::Entero:
        case TipoColumna::EnteroLargo:
            return entero(w,
                          conSigno(le(p, static_cast<int>(ancho(c.tipo))), static_cast<int>(ancho(c.tipo))));
        case TipoColumna::Moneda:
            return doble(w, Valor::Real, static_cast<double>(conSigno(le(p, 8), 8)) / 10000.0);
        case TipoColumna::Simple: {
            const auto bits = static_cast<std::uint32_t>(le(p, 4));
            float x;
            std::memcpy(&x, &bits, sizeof x);
            return doble(w, Valor::Real, static_cast<double>(x));
        }
        case TipoColumna::Doble:
            return doble(w, Valor::Real, real(le(p, 8)));
        case TipoColumna::Fecha:
            return doble(w, Valor::Fecha, real(le(p, 8)));
        case TipoColumna::Binario:
            return bytes(w, Valor::Bytes, p, static_cast<std::size_t>(f.siz));
        case TipoColumna::Ole: {
            std::size_t tam = 0;
            void* datos = mdb_ole_read_full(mdb, c.col, &tam);
            bytes(w, Valor::Bytes, datos, datos ? tam : 0);
            std::free(datos);  // allocated by libmdb with malloc
            return;
        }
        case TipoColumna::Numerico:
            return doble(w, Valor::Real, std::strtod(c.buffer.data(), nullptr));
        default:
            break;
    }
    const std::size_t n = strnlen(c.buffer.data(), c.buffer.size());
    if (n + 1 >= c.buffer.size()) {
        throw Fallo{flujo::kError, std::string("El campo ") + c.col->name + " de la tabla " + tabla +
                                       " tiene un texto demasiado largo para importarlo."};
    }
    bytes(w, Valor::Texto, c.buffer.data(), n);
}

// The fields of the row just fetched, by column position, with their Null flags and raw bytes.
std::vector<MdbField> campos(MdbHandle* mdb, MdbTableDef* t) {
    int inicio = 0;
    std::size_t tam = 0;
    std::vector<MdbField> f(MDB_MAX_COLS);
    if (mdb_find_row(mdb, static_cast<int>(t->cur_row) - 1, &inicio, &tam) != 0) {
        danado(std::string("no se puede leer una fila de la tabla ") + t->name);
    }
    const int n = mdb_crack_row(t, inicio & kOffsetMask, tam, f.data());
    std::vector<MdbField> porColumna(t->num_cols);
    for (int i = 0; i < n && i < MDB_MAX_COLS; ++i) {
        if (f[i].colnum >= 0 && f[i].colnum < static_cast<int>(t->num_cols)) {
            porColumna[f[i].colnum] = f[i];
        }
    }
    return porColumna;
}

void copiaTabla(flujo::Escritor& w, MdbHandle* mdb, MdbCatalogEntry* entrada) {
    Tabla t(mdb_read_table(entrada));
    if (!t || !mdb_read_columns(t.get())) {
        danado(std::string("no se puede leer la tabla ") + entrada->object_name);
    }
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    std::vector<Columna> cols = columnas(t.get());
    enviaTabla(w, t.get(), cols, jet3);
    mdb_rewind_table(t.get());
    std::int64_t filas = 0;
    while (mdb_fetch_row(t.get())) {
        std::vector<MdbField> f = campos(mdb, t.get());
        w.empieza(flujo::kFila);
        for (std::size_t i = 0; i < cols.size(); ++i) {
            valor(w, mdb, cols[i], f[i], t->name);
        }
        w.termina();
        ++filas;
    }
    if (filas != static_cast<std::int64_t>(t->num_rows)) {
        danado(std::string("la tabla ") + t->name + " declara " + std::to_string(t->num_rows) +
               " filas pero solo se pueden leer " + std::to_string(filas));
    }
    w.trama(flujo::kFinTabla);
}

// The number of objects MSysObjects declares: a catalog read short of it lost objects.
unsigned int objetosDeclarados(MdbHandle* mdb) {
    MdbCatalogEntry msys;
    std::memset(&msys, 0, sizeof msys);
    msys.mdb = mdb;
    msys.object_type = MDB_TABLE;
    msys.table_pg = kPaginaCatalogo;
    std::strcpy(msys.object_name, "MSysObjects");
    Tabla t(mdb_read_table(&msys));
    if (!t) {
        danado("no se puede leer su catálogo");
    }
    return t->num_rows;
}

std::vector<MdbCatalogEntry*> tablasDeUsuario(MdbHandle* mdb) {
    const unsigned int declarados = objetosDeclarados(mdb);
    if (!mdb_read_catalog(mdb, MDB_ANY)) {
        danado("no se puede leer su catálogo");
    }
    if (mdb->num_catalog != declarados) {
        danado("su catálogo declara " + std::to_string(declarados) + " objetos pero solo se pueden leer " +
               std::to_string(mdb->num_catalog));
    }
    std::vector<MdbCatalogEntry*> tablas;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type == MDB_TABLE && mdb_is_user_table(e)) {
            tablas.push_back(e);
        }
    }
    return tablas;
}

void leeTodo(const char* origen, flujo::Escritor& w) {
    Mdb mdb(mdb_open(origen, MDB_NOFLAGS));
    if (!mdb) {
        danado("no se puede abrir");
    }
    // The catalog is read with libmdb's own bind size: it binds MSysObjects' columns to buffers of
    // that size, and a larger one overflows them and makes it allocate without end.
    const std::vector<MdbCatalogEntry*> tablas = tablasDeUsuario(mdb.get());
    mdb_set_bind_size(mdb.get(), kTamMemo);
    w.empieza(flujo::kCatalogo);
    w.u32(static_cast<std::uint32_t>(tablas.size()));
    for (const MdbCatalogEntry* e : tablas) {
        w.cadena(e->object_name);
    }
    w.termina();
    for (MdbCatalogEntry* e : tablas) {
        copiaTabla(w, mdb.get(), e);
    }
}

}  // namespace

void leeAccess(const char* origen, flujo::Escritor& w) {
    try {
        leeTodo(origen, w);
        w.trama(flujo::kFin);
    } catch (const Fallo& f) {
        w.trama(f.tipo, f.mensaje);
    }
}

}  // namespace vexilo::importacion
