#include "import/destinosqlite.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace vexilo::importacion {
namespace {

using flujo::TipoColumna;

QString cita(const QString& nombre) {
    QString n = nombre;
    return QChar('"') + n.replace(QChar('"'), QStringLiteral("\"\"")) + QChar('"');
}

QString tipoSql(const ColumnaFlujo& c) {
    switch (c.tipo) {
        case TipoColumna::EnteroLargo:
            return QStringLiteral("INTEGER");
        case TipoColumna::Byte:
        case TipoColumna::Entero:
            // Access's Integer and Byte are 16-bit and 8-bit: declared as the engine declares a 16-bit field.
            return QStringLiteral("SMALLINT");
        case TipoColumna::Moneda:
        case TipoColumna::Simple:
        case TipoColumna::Doble:
        case TipoColumna::Numerico:
            return QStringLiteral("REAL");
        case TipoColumna::Fecha:
            return QStringLiteral("DATETIME");
        case TipoColumna::Logico:
            return QStringLiteral("BOOLEAN");
        case TipoColumna::Texto:
            return QStringLiteral("VARCHAR(%1)").arg(c.tamano);
        case TipoColumna::Memo:
        case TipoColumna::Guid:
            return QStringLiteral("TEXT");
        case TipoColumna::Ole:
        case TipoColumna::Binario:
            return QStringLiteral("BLOB");
    }
    return QStringLiteral("TEXT");
}

// The limits Access keeps, written as the engine layer writes them for the fields it creates, so a
// value the Access file would refuse is refused here too.
QString restriccion(const ColumnaFlujo& c) {
    const QString col = cita(c.nombre);
    const QString nombre = QStringLiteral(" CONSTRAINT ") + col + QChar(' ');
    auto rango = [&](qint64 desde, qint64 hasta) {
        return nombre + QStringLiteral("CHECK (") + col + QStringLiteral(" IS NULL OR (typeof(") + col +
               QStringLiteral(") = 'integer' AND ") + col + QStringLiteral(" BETWEEN ") +
               QString::number(desde) + QStringLiteral(" AND ") + QString::number(hasta) +
               QStringLiteral("))");
    };
    switch (c.tipo) {
        case TipoColumna::Byte:
            return rango(0, 255);
        case TipoColumna::Entero:
            return rango(-32768, 32767);
        case TipoColumna::EnteroLargo:
            return rango(-2147483648LL, 2147483647LL);
        case TipoColumna::Texto:
            return nombre + QStringLiteral("CHECK (length(") + col + QStringLiteral(") <= ") +
                   QString::number(c.tamano) + QChar(')');
        default:
            return {};
    }
}

}  // namespace

DestinoSqlite::DestinoSqlite(const QString& ruta, const QString& nombre)
    : m_conexion(QUuid::createUuid().toString()), m_nombre(nombre) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_conexion);
    db.setDatabaseName(ruta);
    if (!db.open()) {
        fallo(db.lastError().text());
    }
    ejecuta(QStringLiteral("PRAGMA journal_mode=OFF"));
    ejecuta(QStringLiteral("PRAGMA synchronous=OFF"));
    // The first statement is where SQLite creates the file: a folder that refuses it fails here.
    ejecuta(QStringLiteral("PRAGMA user_version=0"));
    db.transaction();
}

DestinoSqlite::~DestinoSqlite() {
    m_insercion.reset();
    { QSqlDatabase::database(m_conexion, false).close(); }
    QSqlDatabase::removeDatabase(m_conexion);
}

void DestinoSqlite::empiezaTabla(const TablaFlujo& t) {
    QStringList defs;
    QStringList marcas;
    for (const ColumnaFlujo& c : t.columnas) {
        defs << cita(c.nombre) + QChar(' ') + tipoSql(c) + restriccion(c);
        marcas << QStringLiteral("?");
    }
    ejecuta(QStringLiteral("CREATE TABLE %1 (%2)").arg(cita(t.nombre), defs.join(QStringLiteral(", "))));
    m_insercion = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_conexion, false));
    if (!m_insercion->prepare(
            QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(cita(t.nombre), marcas.join(QChar(','))))) {
        fallo(m_insercion->lastError().text());
    }
}

void DestinoSqlite::fila(const std::vector<QVariant>& valores) {
    for (std::size_t i = 0; i < valores.size(); ++i) {
        m_insercion->bindValue(static_cast<int>(i), valores[i]);
    }
    if (!m_insercion->exec()) {
        fallo(m_insercion->lastError().text());
    }
}

std::int64_t DestinoSqlite::filasGuardadas(const QString& tabla) {
    QSqlQuery q(QSqlDatabase::database(m_conexion, false));
    if (!q.exec(QStringLiteral("SELECT count(*) FROM ") + cita(tabla)) || !q.next()) {
        fallo(q.lastError().text());
    }
    return q.value(0).toLongLong();
}

void DestinoSqlite::termina() {
    m_insercion.reset();
    if (!QSqlDatabase::database(m_conexion, false).commit()) {
        fallo(QSqlDatabase::database(m_conexion, false).lastError().text());
    }
}

void DestinoSqlite::ejecuta(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(m_conexion, false));
    if (!q.exec(sql)) {
        fallo(q.lastError().text());
    }
}

void DestinoSqlite::fallo(const QString& causa) const {
    throw ErrorImportacion(QStringLiteral("No se puede escribir la base de datos nueva %1: %2")
                               .arg(QDir::toNativeSeparators(m_nombre), causa));
}

}  // namespace vexilo::importacion
