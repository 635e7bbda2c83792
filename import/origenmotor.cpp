#include "import/origenmotor.h"

#include <QByteArray>
#include <QDateTime>

namespace vexilo::importacion {
namespace {

using flujo::TipoColumna;

TablaFlujo tablaDe(platform::Database& bd, const QString& nombre, std::int64_t filas) {
    TablaFlujo t;
    t.nombre = nombre;
    t.filasDeclaradas = filas;
    for (const platform::FieldDef& campo : bd.Fields(nombre)) {
        t.columnas.push_back(columnaDe(campo));
    }
    return t;
}

std::vector<QString> nombresDe(const TablaFlujo& t) {
    std::vector<QString> nombres;
    for (const ColumnaFlujo& c : t.columnas) {
        nombres.push_back(c.nombre);
    }
    return nombres;
}

}  // namespace

ColumnaFlujo columnaDe(const platform::FieldDef& campo) {
    ColumnaFlujo c;
    c.nombre = campo.name;
    switch (campo.type) {
        case platform::dbInteger:
            c.tipo = TipoColumna::Entero;
            break;
        case platform::dbLong:
        case platform::dbBigInt:
            c.tipo = TipoColumna::EnteroLargo;
            break;
        case platform::dbSingle:
        case platform::dbDouble:
        case platform::dbDecimal:
            c.tipo = TipoColumna::Doble;
            break;
        case platform::dbDate:
            c.tipo = TipoColumna::Fecha;
            break;
        case platform::dbBoolean:
            c.tipo = TipoColumna::Logico;
            break;
        case platform::dbLongBinary:
            c.tipo = TipoColumna::Binario;
            break;
        default:
            c.tipo = campo.size > 0 ? TipoColumna::Texto : TipoColumna::Memo;
            c.tamano = campo.size;
            break;
    }
    return c;
}

QVariant valorPara(const ColumnaFlujo& columna, const QVariant& valor) {
    if (!valor.isValid() || valor.isNull()) {
        return QVariant();
    }
    bool ok = false;
    switch (columna.tipo) {
        case TipoColumna::Byte:
        case TipoColumna::Entero:
        case TipoColumna::EnteroLargo: {
            const qint64 n = valor.toLongLong(&ok);
            return ok ? QVariant(n) : valor;
        }
        case TipoColumna::Logico:
            if (valor.typeId() == QMetaType::Bool) {
                return QVariant(static_cast<qint64>(valor.toBool() ? 1 : 0));
            } else {
                const qint64 n = valor.toLongLong(&ok);
                return ok ? QVariant(static_cast<qint64>(n != 0 ? 1 : 0)) : valor;
            }
        case TipoColumna::Moneda:
        case TipoColumna::Simple:
        case TipoColumna::Doble:
        case TipoColumna::Numerico: {
            const double d = valor.toDouble(&ok);
            return ok ? QVariant(d) : valor;
        }
        case TipoColumna::Fecha:
            if (valor.typeId() == QMetaType::QDateTime) {
                return QVariant(valor.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            }
            return valor;
        case TipoColumna::Ole:
        case TipoColumna::Binario:
            return QVariant(valor.toByteArray());
        default:
            return QVariant(valor.toString());
    }
}

std::vector<TablaImportada> leeBaseDeDatos(platform::Database& bd, Receptor& receptor) {
    std::vector<QString> tablas;
    for (int i = 0; i < bd.TableDefsCount(); ++i) {
        tablas.push_back(bd.TableDefName(i));
    }
    std::vector<TablaImportada> leidas;
    for (const QString& nombre : tablas) {
        TablaFlujo t = tablaDe(bd, nombre, 0);
        const std::vector<platform::Database::Row> filas = bd.ReadRows(nombre, nombresDe(t));
        t.filasDeclaradas = static_cast<std::int64_t>(filas.size());
        receptor.empiezaTabla(t);
        std::vector<QVariant> valores(t.columnas.size());
        for (const platform::Database::Row& fila : filas) {
            for (std::size_t i = 0; i < valores.size(); ++i) {
                valores[i] = valorPara(t.columnas[i], fila.values[i]);
            }
            receptor.fila(valores);
        }
        receptor.terminaTabla();
        leidas.push_back({nombre, t.filasDeclaradas});
    }
    return leidas;
}

}  // namespace vexilo::importacion
