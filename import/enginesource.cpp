#include "import/enginesource.h"

#include <QByteArray>
#include <QDateTime>

#include "engines/datetext.h"

namespace vexilo::importer {
namespace {

using stream::ColumnKind;

bool isWholeNumber(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
            return true;
        default:
            return false;
    }
}

// Whether a least or greatest value of a column fits the column's whole-number type (no value does).
bool fits(const QVariant& v, int type) {
    if (!v.isValid() || v.isNull()) {
        return true;
    }
    if (!isWholeNumber(v)) {
        return false;
    }
    const qint64 n = v.toLongLong();
    return type == engines::dbInteger ? n >= INT16_MIN && n <= INT16_MAX : n >= INT32_MIN && n <= INT32_MAX;
}

// A column of 16 or 32-bit whole numbers whose values do not all fit (SQLite keeps any value in any
// column another program made) is copied as a column of 64-bit numbers, without a check: every value
// arrives as it was. The columns of tables this system made always fit, and keep their type.
void widenWhereNeeded(engines::Database& bd, StreamTable& t) {
    for (StreamColumn& c : t.columns) {
        if (c.engineType != engines::dbInteger && c.engineType != engines::dbLong) {
            continue;
        }
        const auto [least, greatest] = bd.ValueRange(t.name, c.name);
        if (!fits(least, c.engineType) || !fits(greatest, c.engineType)) {
            c.engineType = engines::dbBigInt;
            c.tipo = ColumnKind::LongInteger;
        }
    }
}

StreamTable tableOf(engines::Database& bd, const QString& name) {
    StreamTable t;
    t.name = name;
    for (const engines::FieldDef& field : bd.Fields(name)) {
        t.columns.push_back(columnFor(field));
    }
    widenWhereNeeded(bd, t);
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

StreamColumn columnFor(const engines::FieldDef& field) {
    StreamColumn c;
    c.name = field.name;
    c.engineType = field.type;
    switch (field.type) {
        case engines::dbInteger:
            c.tipo = ColumnKind::Integer;
            break;
        case engines::dbLong:
        case engines::dbBigInt:
            c.tipo = ColumnKind::LongInteger;
            break;
        case engines::dbSingle:
        case engines::dbDouble:
        case engines::dbDecimal:
            c.tipo = ColumnKind::Double;
            break;
        case engines::dbDate:
            c.tipo = ColumnKind::Fecha;
            break;
        case engines::dbBoolean:
            c.tipo = ColumnKind::Boolean;
            break;
        case engines::dbLongBinary:
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
    if (column.engineType != 0 && column.tipo != ColumnKind::Boolean && column.tipo != ColumnKind::Fecha) {
        // Between two databases of the engine layer a value keeps its kind as it was read: a whole
        // number of 64 bits, an exact decimal, a number in a column of another type, an empty blob.
        return valor;
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
                return QVariant(valor.toDateTime().toString(engines::kStoredDateFormat));
            }
            return valor;
        case ColumnKind::Ole:
        case ColumnKind::Binary:
            return QVariant(valor.toByteArray());
        default:
            return QVariant(valor.toString());
    }
}

std::vector<ImportedTable> readDatabase(engines::Database& bd, Receptor& receptor) {
    std::vector<QString> tables;
    for (int i = 0; i < bd.TableDefsCount(); ++i) {
        tables.push_back(bd.TableDefName(i));
    }
    std::vector<ImportedTable> read;
    for (const QString& name : tables) {
        const StreamTable t = tableOf(bd, name);
        receptor.beginTable(t);
        std::int64_t rows = 0;
        std::vector<QVariant> values(t.columns.size());
        // Row by row as they are read: a table of any size is copied in little memory.
        bd.ForEachRow(name, namesOf(t), [&](const engines::Database::Row& row) {
            for (std::size_t i = 0; i < values.size(); ++i) {
                values[i] = valueFor(t.columns[i], row.values[i]);
            }
            receptor.row(values);
            ++rows;
        });
        receptor.endTable();
        read.push_back({name, rows});
    }
    return read;
}

}  // namespace vexilo::importer
