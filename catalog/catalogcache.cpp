#include "catalog/catalogcache.h"

#include <limits>
#include <optional>
#include <vector>

#include "catalog/catalogindex.h"
#include "catalog/conversion.h"
#include "catalog/tablesearch.h"
#include "core/normalisation.h"

namespace vexilo::catalog {

namespace {

constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin16 = std::numeric_limits<std::int16_t>::min();
constexpr std::int64_t kMax16 = std::numeric_limits<std::int16_t>::max();

// Reads a catalog table's rows for the named columns. A column the table lacks would read as Null in
// every row; when there are rows to load that is reported as the missing field itself.
std::vector<platform::Database::Row> readCatalog(core::RunState& f, const QString& table,
                                                 const QString& visibleName,
                                                 const std::vector<QString>& required,
                                                 const std::vector<QString>& optional) {
    std::vector<QString> columns = required;
    columns.insert(columns.end(), optional.begin(), optional.end());
    std::vector<platform::Database::Row> rows = f.Bd->ReadRows(table, columns);
    if (rows.empty()) {
        return rows;
    }
    const std::vector<QString> fields = f.Bd->FieldNames(table);
    for (const QString& column : required) {
        if (!hasField(fields, column)) {
            f.display->setPointer(platform::MousePointer::Default);
            throw platform::Stop(
                QStringLiteral("No existe el campo %1 en la tabla %2").arg(column, visibleName));
        }
    }
    return rows;
}

// The stop for a row that does not convert: the whole load is refused.
[[noreturn]] void invalidValue(core::RunState& f, const QString& table, std::size_t row,
                               const std::optional<std::int64_t>& mslink, const QString& field,
                               const QVariant& valor) {
    QString where = QStringLiteral("Fila %1").arg(row);
    if (mslink) {
        where += QStringLiteral(" (mslink %1)").arg(*mslink);
    }
    f.display->setPointer(platform::MousePointer::Default);
    throw platform::Stop(QStringLiteral("Valor no válido en la tabla %1\r%2, campo %3: %4")
                             .arg(table, where, field, describeValue(valor)));
}

void showCount(core::RunState& f, const QString& caption, std::int32_t count) {
    f.display->setText(core::Control::Label2, caption);
    f.display->setText(core::Control::Text1, QString::number(count));
}

// Built from the arrays when the job has not loaded them itself (a job always has, at its start).
const MsCatalogIndex& msCatalogIndex(core::RunState& f) {
    return f.caches.get<MsCatalogIndex>(
        [&f] { return std::make_shared<MsCatalogIndex>(f.TablasMsCatalog, f.NumTablasMsCatalog); });
}

const FeatureIndex& featureIndex(core::RunState& f) {
    return f.caches.get<FeatureIndex>(
        [&f] { return std::make_shared<FeatureIndex>(f.ElementosFeature, f.NumElementosFeature); });
}

}  // namespace

void cargaMsCatalog(core::RunState& f) {
    // Nothing of an earlier load stays usable while this one is read.
    f.NumTablasMsCatalog = 0;
    f.caches.drop<MsCatalogIndex>();
    const QString table = QStringLiteral("MsCatalog");
    const auto rows =
        readCatalog(f, QStringLiteral("mscatalog"), table,
                    {QStringLiteral("tablename"), QStringLiteral("entitynum")}, {QStringLiteral("mslink")});

    std::vector<core::RegMsCatalog> tables(rows.size() + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<QVariant>& v = rows[i].values;
        const auto mslink = wholeFromValue(v[2], kMin32, kMax32);
        if (v[0].isNull()) {
            invalidValue(f, table, i + 1, mslink, QStringLiteral("tablename"), v[0]);
        }
        const auto entitynum = wholeFromValue(v[1], kMin32, kMax32);
        if (!entitynum) {
            invalidValue(f, table, i + 1, mslink, QStringLiteral("entitynum"), v[1]);
        }
        tables[i + 1].tablename = core::trimSpaces(v[0].toString());
        tables[i + 1].entitynum = static_cast<std::int32_t>(*entitynum);
    }
    f.TablasMsCatalog = std::move(tables);
    f.NumTablasMsCatalog = static_cast<std::int32_t>(rows.size());
    f.caches.put(std::make_shared<MsCatalogIndex>(f.TablasMsCatalog, f.NumTablasMsCatalog));
    showCount(f, QStringLiteral("Tablas en MsCatalog : "), f.NumTablasMsCatalog);
}

void cargaFeature(core::RunState& f) {
    f.NumElementosFeature = 0;
    f.caches.drop<FeatureIndex>();
    const QString table = QStringLiteral("Feature");
    const auto rows =
        readCatalog(f, QStringLiteral("feature"), table,
                    {QStringLiteral("tablename"), QStringLiteral("mslink"), QStringLiteral("ftype")}, {});

    std::vector<core::RegFeature> elements(rows.size() + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<QVariant>& v = rows[i].values;
        const auto mslink = wholeFromValue(v[1], kMin32, kMax32);
        if (v[0].isNull()) {
            invalidValue(f, table, i + 1, mslink, QStringLiteral("tablename"), v[0]);
        }
        if (!mslink) {
            invalidValue(f, table, i + 1, mslink, QStringLiteral("mslink"), v[1]);
        }
        const auto ftype = wholeFromValue(v[2], kMin16, kMax16);
        if (!ftype) {
            invalidValue(f, table, i + 1, mslink, QStringLiteral("ftype"), v[2]);
        }
        core::RegFeature& e = elements[i + 1];
        e.tablename = core::trimSpaces(v[0].toString());
        e.mslink = static_cast<std::int32_t>(*mslink);
        e.ftype = static_cast<std::int16_t>(*ftype);
        e.no_asignar = false;
    }
    f.ElementosFeature = std::move(elements);
    f.NumElementosFeature = static_cast<std::int32_t>(rows.size());
    // Built here for the flags as loaded; the exclusion marking rebuilds it after setting flags.
    f.caches.put(std::make_shared<FeatureIndex>(f.ElementosFeature, f.NumElementosFeature));
    showCount(f, QStringLiteral("Elementos en Tabla Feature : "), f.NumElementosFeature);
}

core::PassedOver busca_Feature(core::RunState& f, QString& codigo, QString& NombreTabla) {
    core::limpia_texto(codigo);
    if (!NombreTabla.isEmpty()) {
        return core::PassedOver::None;
    }
    const FeatureIndex& index = featureIndex(f);
    const auto code = parseWhole(codigo, kMin32, kMax32);
    if (!index.hasCandidate()) {
        // No entry gets as far as reading the code.
        return code ? index.missReason(static_cast<std::int32_t>(*code)) : core::PassedOver::NoFeature;
    }
    if (!code) {
        return core::PassedOver::NonNumericCode;
    }
    NombreTabla = index.tableName(static_cast<std::int32_t>(*code));
    return NombreTabla.isEmpty() ? index.missReason(static_cast<std::int32_t>(*code))
                                 : core::PassedOver::None;
}

void busca_entitynum(core::RunState& f, const QString& NombreTabla, std::int32_t& entitynum) {
    if (entitynum != 0) {
        return;
    }
    entitynum = msCatalogIndex(f).entitynum(NombreTabla);
}

void busca_NombreTabla(core::RunState& f, std::int32_t entitynum, QString& NombreTabla) {
    if (!NombreTabla.isEmpty()) {
        return;
    }
    NombreTabla = msCatalogIndex(f).tableName(entitynum);
}

}  // namespace vexilo::catalog
