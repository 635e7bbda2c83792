#include "import/enginesource.h"

#include <QByteArray>
#include <QDateTime>

namespace vexilo::importer {
namespace {

using stream::ColumnKind;

StreamTable tableOf(platform::Database& bd, const QString& name, std::int64_t rows) {
    StreamTable t;
    t.name = name;
    t.declaredRows = rows;
    for (const platform::FieldDef& field : bd.Fields(name)) {
        t.columns.push_back(columnFor(field));
    }
    return t;
}

std::vector<QString> namesOf(const StreamTable& t) {
    std::vector<QString> names;
    for (const StreamColumn& c : t.columns) {
        names.push_back(c.name);
    }
    return names;
}

}  // namespace

StreamColumn columnFor(const platform::FieldDef& field) {
    StreamColumn c;
    c.name = field.name;
    switch (field.type) {
        case platform::dbInteger:
            c.tipo = ColumnKind::Integer;
            break;
        case platform::dbLong:
        case platform::dbBigInt:
            c.tipo = ColumnKind::LongInteger;
            break;
        case platform::dbSingle:
        case platform::dbDouble:
        case platform::dbDecimal:
            c.tipo = ColumnKind::Double;
            break;
        case platform::dbDate:
            c.tipo = ColumnKind::Fecha;
            break;
        case platform::dbBoolean:
            c.tipo = ColumnKind::Boolean;
            break;
        case platform::dbLongBinary:
            c.tipo = ColumnKind::Binary;
            break;
        default:
            c.tipo = field.size > 0 ? ColumnKind::Text : ColumnKind::Memo;
            c.size = field.size;
            break;
    }
    return c;
}

QVariant valueFor(const StreamColumn& column, const QVariant& valor) {
    if (!valor.isValid() || valor.isNull()) {
        return QVariant();
    }
    bool ok = false;
    switch (column.tipo) {
        case ColumnKind::Byte:
        case ColumnKind::Integer:
        case ColumnKind::LongInteger: {
            const qint64 n = valor.toLongLong(&ok);
            return ok ? QVariant(n) : valor;
        }
        case ColumnKind::Boolean:
            if (valor.typeId() == QMetaType::Bool) {
                return QVariant(static_cast<qint64>(valor.toBool() ? 1 : 0));
            } else {
                const qint64 n = valor.toLongLong(&ok);
                return ok ? QVariant(static_cast<qint64>(n != 0 ? 1 : 0)) : valor;
            }
        case ColumnKind::Currency:
        case ColumnKind::Simple:
        case ColumnKind::Double:
        case ColumnKind::Numeric: {
            const double d = valor.toDouble(&ok);
            return ok ? QVariant(d) : valor;
        }
        case ColumnKind::Fecha:
            if (valor.typeId() == QMetaType::QDateTime) {
                return QVariant(valor.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            }
            return valor;
        case ColumnKind::Ole:
        case ColumnKind::Binary:
            return QVariant(valor.toByteArray());
        default:
            return QVariant(valor.toString());
    }
}

std::vector<ImportedTable> readDatabase(platform::Database& bd, Receptor& receptor) {
    std::vector<QString> tables;
    for (int i = 0; i < bd.TableDefsCount(); ++i) {
        tables.push_back(bd.TableDefName(i));
    }
    std::vector<ImportedTable> read;
    for (const QString& name : tables) {
        StreamTable t = tableOf(bd, name, 0);
        const std::vector<platform::Database::Row> rows = bd.ReadRows(name, namesOf(t));
        t.declaredRows = static_cast<std::int64_t>(rows.size());
        receptor.beginTable(t);
        std::vector<QVariant> values(t.columns.size());
        for (const platform::Database::Row& row : rows) {
            for (std::size_t i = 0; i < values.size(); ++i) {
                values[i] = valueFor(t.columns[i], row.values[i]);
            }
            receptor.row(values);
        }
        receptor.endTable();
        read.push_back({name, t.declaredRows});
    }
    return read;
}

}  // namespace vexilo::importer
