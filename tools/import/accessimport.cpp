#include "tools/import/accessimport.h"

// libmdb's header opens an extern "C" block and includes <glib.h> inside it; glib's C++ parts must be
// seen first, outside that block.
#include <glib.h>
#include <mdbtools.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <cmath>
#include <cstring>
#include <memory>

#include "tools/import/capturaerrores.h"

namespace vexilo::importacion {
namespace {

constexpr int kDesplazamientoFirma = 4;
constexpr int kOffsetMask = 0x1fff;        // row offsets in a data page carry flags in their top bits
constexpr std::size_t kTamMemo = 1 << 22;  // bytes a memo may take once in UTF-8 (libmdb cuts it here)
constexpr std::size_t kTamTexto = 4096;    // a text of at most 255 characters, in UTF-8, fits easily

// ---- the source file ----

struct CierraMdb {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct LiberaTabla {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using Mdb = std::unique_ptr<MdbHandle, CierraMdb>;
using Tabla = std::unique_ptr<MdbTableDef, LiberaTabla>;

// How a column is read and what it becomes in SQLite.
enum class Clase { Entero, Real, Moneda, Fecha, Logico, Texto, Memo, Numerico, Guid, Ole, Binario };

struct Columna {
    MdbColumn* col = nullptr;
    QString nombre;
    Clase clase = Clase::Texto;
    QString tipoSql;
    std::vector<char> buffer;  // bound buffer, for the kinds libmdb must convert (texts, numerics, OLE)
};

Clase claseDe(int tipo) {
    switch (tipo) {
        case MDB_BOOL:
            return Clase::Logico;
        case MDB_BYTE:
        case MDB_INT:
        case MDB_LONGINT:
            return Clase::Entero;
        case MDB_MONEY:
            return Clase::Moneda;
        case MDB_FLOAT:
        case MDB_DOUBLE:
            return Clase::Real;
        case MDB_DATETIME:
            return Clase::Fecha;
        case MDB_TEXT:
            return Clase::Texto;
        case MDB_MEMO:
            return Clase::Memo;
        case MDB_NUMERIC:
            return Clase::Numerico;
        case MDB_REPID:
            return Clase::Guid;
        case MDB_OLE:
            return Clase::Ole;
        default:
            return Clase::Binario;
    }
}

QString tipoSql(const Columna& c, bool jet3) {
    switch (c.clase) {
        case Clase::Entero:
            // Access's Integer and Byte are 16-bit and 8-bit: declared as the engine declares a 16-bit field.
            return c.col->col_type == MDB_LONGINT ? QStringLiteral("INTEGER") : QStringLiteral("SMALLINT");
        case Clase::Real:
        case Clase::Moneda:
        case Clase::Numerico:
            return QStringLiteral("REAL");
        case Clase::Fecha:
            return QStringLiteral("DATETIME");
        case Clase::Logico:
            return QStringLiteral("BOOLEAN");
        case Clase::Texto: {
            // Jet 4 and later store texts as UTF-16: the declared size is in bytes.
            int tam = jet3 ? c.col->col_size : c.col->col_size / 2;
            return QStringLiteral("VARCHAR(%1)").arg(tam > 0 ? tam : 255);
        }
        case Clase::Memo:
        case Clase::Guid:
            return QStringLiteral("TEXT");
        case Clase::Ole:
        case Clase::Binario:
            return QStringLiteral("BLOB");
    }
    return QStringLiteral("TEXT");
}

bool seEnlaza(Clase c) {
    return c == Clase::Texto || c == Clase::Memo || c == Clase::Numerico || c == Clase::Guid ||
           c == Clase::Ole;
}

std::vector<Columna> columnas(MdbTableDef* t, bool jet3) {
    std::vector<Columna> v(t->num_cols);
    for (unsigned i = 0; i < t->num_cols; ++i) {
        Columna& c = v[i];
        c.col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
        c.nombre = QString::fromUtf8(c.col->name);
        c.clase = claseDe(c.col->col_type);
        c.tipoSql = tipoSql(c, jet3);
        if (seEnlaza(c.clase)) {
            // libmdb copies at most its bind size into the buffer: memos and OLE chunks need the large one.
            bool grande = c.clase == Clase::Memo || c.clase == Clase::Ole;
            c.buffer.assign(grande ? kTamMemo : kTamTexto, '\0');
            mdb_bind_column(t, static_cast<int>(i) + 1, c.buffer.data(), nullptr);
        }
    }
    return v;
}

std::int64_t le(const unsigned char* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    // sign-extend from n bytes
    int desplazamiento = 64 - 8 * n;
    return static_cast<std::int64_t>(v << desplazamiento) >> desplazamiento;
}

double doble(const unsigned char* p) {
    std::uint64_t bits = static_cast<std::uint64_t>(le(p, 8));
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// The value of one column in the row libmdb has just fetched. Null comes from the row itself: a bound
// text reads "" both for Null and for an empty text.
QVariant valor(MdbHandle* mdb, Columna& c, const MdbField& f, const QString& tabla) {
    if (c.clase == Clase::Logico) {
        return QVariant(f.is_null ? 0 : 1);  // a yes/no column keeps its value in the null bit
    }
    if (f.is_null) {
        return QVariant();
    }
    const unsigned char* p = mdb->pg_buf + f.start;
    switch (c.clase) {
        case Clase::Entero:
            return c.col->col_type == MDB_BYTE
                       ? QVariant(static_cast<qint64>(p[0]))
                       : QVariant(static_cast<qint64>(le(p, c.col->col_type == MDB_INT ? 2 : 4)));
        case Clase::Moneda:
            return QVariant(static_cast<double>(le(p, 8)) / 10000.0);
        case Clase::Real:
            if (c.col->col_type == MDB_FLOAT) {
                std::uint32_t bits = static_cast<std::uint32_t>(le(p, 4));
                float x;
                std::memcpy(&x, &bits, sizeof x);
                return QVariant(static_cast<double>(x));
            }
            return QVariant(doble(p));
        case Clase::Fecha:
            // Stored as the engine layer stores dates, so that the job reads them alike.
            return QVariant(fechaAccess(doble(p)).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        case Clase::Binario:
            return QVariant(QByteArray(reinterpret_cast<const char*>(p), f.siz));
        case Clase::Ole: {
            std::size_t tam = 0;
            void* datos = mdb_ole_read_full(mdb, c.col, &tam);
            QByteArray b(static_cast<const char*>(datos), static_cast<qsizetype>(tam));
            std::free(datos);  // allocated by libmdb with malloc
            return QVariant(b);
        }
        case Clase::Numerico:
            return QVariant(QString::fromUtf8(c.buffer.data()).toDouble());
        default:
            break;
    }
    std::size_t n = strnlen(c.buffer.data(), c.buffer.size());
    if (n + 1 >= c.buffer.size()) {
        throw ErrorImportacion(
            QStringLiteral("El campo %1 de la tabla %2 tiene un texto demasiado largo para importarlo.")
                .arg(c.nombre, tabla));
    }
    return QVariant(QString::fromUtf8(c.buffer.data(), static_cast<qsizetype>(n)));
}

// The fields of the row just fetched, by column position, with their Null flags and raw bytes.
std::vector<MdbField> campos(MdbHandle* mdb, MdbTableDef* t) {
    int inicio = 0;
    std::size_t tam = 0;
    MdbField f[MDB_MAX_COLS];
    std::memset(f, 0, sizeof f);
    if (mdb_find_row(mdb, static_cast<int>(t->cur_row) - 1, &inicio, &tam) != 0) {
        throw ErrorImportacion(
            QStringLiteral("No se puede leer una fila de la tabla %1.").arg(QString::fromUtf8(t->name)));
    }
    int n = mdb_crack_row(t, inicio & kOffsetMask, tam, f);
    std::vector<MdbField> porColumna(t->num_cols);
    for (int i = 0; i < n && i < static_cast<int>(t->num_cols); ++i) {
        if (f[i].colnum >= 0 && f[i].colnum < static_cast<int>(t->num_cols)) {
            porColumna[f[i].colnum] = f[i];
        }
    }
    return porColumna;
}

// ---- the destination ----

QString cita(const QString& nombre) {
    QString n = nombre;
    return QChar('"') + n.replace(QChar('"'), QStringLiteral("\"\"")) + QChar('"');
}

// The limits Access keeps (a text's size, a whole number's width), written as the engine layer writes
// them for the fields it creates, so a value the Access file would refuse is refused here too.
QString restriccion(const Columna& c) {
    const QString col = cita(c.nombre);
    const QString nombre = QStringLiteral(" CONSTRAINT ") + col + QChar(' ');
    auto rango = [&](qint64 desde, qint64 hasta) {
        return nombre + QStringLiteral("CHECK (") + col + QStringLiteral(" IS NULL OR (typeof(") + col +
               QStringLiteral(") = 'integer' AND ") + col + QStringLiteral(" BETWEEN ") +
               QString::number(desde) + QStringLiteral(" AND ") + QString::number(hasta) +
               QStringLiteral("))");
    };
    if (c.clase == Clase::Entero) {
        switch (c.col->col_type) {
            case MDB_BYTE:
                return rango(0, 255);
            case MDB_INT:
                return rango(-32768, 32767);
            default:
                return rango(-2147483648LL, 2147483647LL);
        }
    }
    if (c.clase == Clase::Texto) {
        const QString tam = c.tipoSql.section(QChar('('), 1).chopped(1);
        return nombre + QStringLiteral("CHECK (length(") + col + QStringLiteral(") <= ") + tam + QChar(')');
    }
    return {};
}

class Destino {
  public:
    explicit Destino(const QString& ruta) : m_conexion(QUuid::createUuid().toString()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_conexion);
        db.setDatabaseName(ruta);
        if (!db.open()) {
            throw ErrorImportacion(
                QStringLiteral("No se puede crear la base de datos %1: %2").arg(ruta, db.lastError().text()));
        }
        ejecuta(QStringLiteral("PRAGMA journal_mode=OFF"));
        ejecuta(QStringLiteral("PRAGMA synchronous=OFF"));
        db.transaction();
    }
    ~Destino() {
        { QSqlDatabase::database(m_conexion, false).close(); }
        QSqlDatabase::removeDatabase(m_conexion);
    }
    void creaTabla(const QString& nombre, const std::vector<Columna>& cols) {
        QStringList defs;
        for (const Columna& c : cols) {
            defs << cita(c.nombre) + QChar(' ') + c.tipoSql + restriccion(c);
        }
        ejecuta(QStringLiteral("CREATE TABLE %1 (%2)").arg(cita(nombre), defs.join(QStringLiteral(", "))));
        QStringList marcas;
        for (std::size_t i = 0; i < cols.size(); ++i) {
            marcas << QStringLiteral("?");
        }
        m_insercion = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_conexion, false));
        m_insercion->prepare(
            QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(cita(nombre), marcas.join(QChar(','))));
    }
    void inserta(const std::vector<QVariant>& valores) {
        for (std::size_t i = 0; i < valores.size(); ++i) {
            m_insercion->bindValue(static_cast<int>(i), valores[i]);
        }
        if (!m_insercion->exec()) {
            throw ErrorImportacion(QStringLiteral("No se puede escribir en la base de datos nueva: %1")
                                       .arg(m_insercion->lastError().text()));
        }
    }
    void termina() {
        m_insercion.reset();
        if (!QSqlDatabase::database(m_conexion, false).commit()) {
            throw ErrorImportacion(QStringLiteral("No se puede escribir en la base de datos nueva."));
        }
    }

  private:
    void ejecuta(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(m_conexion, false));
        if (!q.exec(sql)) {
            throw ErrorImportacion(QStringLiteral("No se puede escribir en la base de datos nueva: %1")
                                       .arg(q.lastError().text()));
        }
    }
    QString m_conexion;
    std::unique_ptr<QSqlQuery> m_insercion;
};

// ---- one table ----

std::int64_t copiaTabla(MdbHandle* mdb, MdbCatalogEntry* entrada, Destino& destino) {
    Tabla t(mdb_read_table(entrada));
    const QString nombre = QString::fromUtf8(entrada->object_name);
    if (!t || !mdb_read_columns(t.get())) {
        throw ErrorImportacion(QStringLiteral("No se puede leer la tabla %1.").arg(nombre));
    }
    std::vector<Columna> cols = columnas(t.get(), mdb->f->jet_version == MDB_VER_JET3);
    destino.creaTabla(nombre, cols);
    mdb_rewind_table(t.get());
    std::int64_t filas = 0;
    std::vector<QVariant> valores(cols.size());
    while (mdb_fetch_row(t.get())) {
        std::vector<MdbField> f = campos(mdb, t.get());
        for (std::size_t i = 0; i < cols.size(); ++i) {
            valores[i] = valor(mdb, cols[i], f[i], nombre);
        }
        destino.inserta(valores);
        ++filas;
    }
    if (filas != static_cast<std::int64_t>(t->num_rows)) {
        throw ErrorImportacion(QStringLiteral("La tabla %1 declara %2 filas pero se han leído %3.")
                                   .arg(nombre)
                                   .arg(t->num_rows)
                                   .arg(filas));
    }
    return filas;
}

void copiaTodo(const QString& origen, const QString& temporal, Resultado& r) {
    Mdb mdb(mdb_open(QFile::encodeName(origen).constData(), MDB_NOFLAGS));
    if (!mdb) {
        throw ErrorImportacion(QStringLiteral("No se puede leer la base de datos Access: %1").arg(origen));
    }
    mdb_set_bind_size(mdb.get(), kTamMemo);
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) {
        throw ErrorImportacion(
            QStringLiteral("No se puede leer el catálogo de la base de datos Access: %1").arg(origen));
    }
    Destino destino(temporal);
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type != MDB_TABLE || !mdb_is_user_table(e)) {
            continue;
        }
        std::int64_t filas = copiaTabla(mdb.get(), e, destino);
        r.tablas.push_back({QString::fromUtf8(e->object_name), filas});
    }
    destino.termina();
}

}  // namespace

bool esBaseDeDatosAccess(const QString& ruta) {
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray cabecera = f.read(kDesplazamientoFirma + 15).mid(kDesplazamientoFirma);
    return cabecera == "Standard Jet DB" || cabecera == "Standard ACE DB";
}

QDateTime fechaAccess(double valor) {
    const double dias = std::trunc(valor);
    const double fraccion = std::fabs(valor - dias);
    qint64 ms = std::llround(fraccion * 86400000.0);
    QDate fecha = QDate(1899, 12, 30).addDays(static_cast<qint64>(dias));
    if (ms >= 86400000) {  // a fraction that rounds to a whole day is midnight of the next one
        fecha = fecha.addDays(1);
        ms -= 86400000;
    }
    return QDateTime(fecha, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

Resultado importaAccess(const QString& origen, const QString& destino, bool forzar) {
    if (!QFileInfo(origen).isFile()) {
        throw ErrorImportacion(QStringLiteral("No existe el fichero: %1").arg(origen));
    }
    if (!esBaseDeDatosAccess(origen)) {
        throw ErrorImportacion(QStringLiteral("El fichero no es una base de datos Access: %1").arg(origen));
    }
    if (QFileInfo::exists(destino) && !forzar) {
        throw ErrorImportacion(
            QStringLiteral("Ya existe el fichero de destino: %1 (use --forzar para sustituirlo)")
                .arg(destino));
    }
    const QString temporal = destino + QStringLiteral(".importando");
    QFile::remove(temporal);
    Resultado r;
    try {
        CapturaErrores captura;
        try {
            copiaTodo(origen, temporal, r);
        } catch (const ErrorImportacion& e) {
            QStringList avisos = captura.termina();
            throw ErrorImportacion(avisos.isEmpty() ? e.mensaje()
                                                    : e.mensaje() + QChar('\n') + avisos.join(QChar('\n')));
        }
        r.avisos = captura.termina();
    } catch (...) {
        QFile::remove(temporal);
        throw;
    }
    if (QFileInfo::exists(destino) && !QFile::remove(destino)) {
        QFile::remove(temporal);
        throw ErrorImportacion(
            QStringLiteral("No se puede sustituir el fichero de destino: %1").arg(destino));
    }
    if (!QFile::rename(temporal, destino)) {
        QFile::remove(temporal);
        throw ErrorImportacion(QStringLiteral("No se puede crear el fichero de destino: %1").arg(destino));
    }
    return r;
}

QString rutaImportada(const QString& rutaAccess) {
    const QFileInfo info(rutaAccess);
    return QDir(info.path()).filePath(info.completeBaseName() + QStringLiteral(".sqlite"));
}

}  // namespace vexilo::importacion
