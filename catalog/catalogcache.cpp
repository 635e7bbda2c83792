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
std::vector<engines::Database::Row> readCatalog(engines::Database& bd, core::Display& display,
                                                const QString& table, const QString& visibleName,
                                                const std::vector<QString>& required,
                                                const std::vector<QString>& optional) {
    std::vector<QString> columns = required;
    columns.insert(columns.end(), optional.begin(), optional.end());
    std::vector<engines::Database::Row> rows = bd.ReadRows(table, columns);
    if (rows.empty()) {
        return rows;
    }
    const std::vector<QString> fields = bd.FieldNames(table);
    for (const QString& column : required) {
        if (!hasField(fields, column)) {
            display.setPointer(core::MousePointer::Default);
            throw core::Stop(QStringLiteral("No existe el campo %1 en la tabla %2").arg(column, visibleName));
        }
    }
    return rows;
}

// The stop for a row that does not convert: the whole load is refused.
[[noreturn]] void invalidValue(core::Display& display, const QString& table, std::size_t row,
                               const std::optional<std::int64_t>& mslink, const QString& field,
                               const QVariant& valor) {
    QString where = QStringLiteral("Fila %1").arg(row);
    if (mslink) {
        where += QStringLiteral(" (mslink %1)").arg(*mslink);
    }
    display.setPointer(core::MousePointer::Default);
    throw core::Stop(QStringLiteral("Valor no válido en la tabla %1\r%2, campo %3: %4")
                         .arg(table, where, field, describeValue(valor)));
}

void showCount(core::Display& display, const QString& caption, std::int32_t count) {
    display.setText(core::Control::Label2, caption);
    display.setText(core::Control::Text1, QString::number(count));
}

}  // namespace

const MsCatalogIndex& Catalog::msCatalogIndex() const {
    if (!m_msCatalogIndex) {
        m_msCatalogIndex.emplace(TablasMsCatalog, NumTablasMsCatalog);
    }
    return *m_msCatalogIndex;
}

const FeatureIndex& Catalog::featureIndex() const {
    if (!m_featureIndex) {
        m_featureIndex.emplace(ElementosFeature, NumElementosFeature);
    }
    return *m_featureIndex;
}

void cargaMsCatalog(engines::Database& bd, core::Display& display, Catalog& catalog) {
    // Nothing of an earlier load stays usable while this one is read.
    catalog.NumTablasMsCatalog = 0;
    catalog.reindexMsCatalog();
    const QString table = QStringLiteral("MsCatalog");
    const auto rows =
        readCatalog(bd, display, QStringLiteral("mscatalog"), table,
                    {QStringLiteral("tablename"), QStringLiteral("entitynum")}, {QStringLiteral("mslink")});

    std::vector<core::RegMsCatalog> tables(rows.size() + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<QVariant>& v = rows[i].values;
        const auto mslink = wholeFromValue(v[2], kMin32, kMax32);
        if (v[0].isNull()) {
            invalidValue(display, table, i + 1, mslink, QStringLiteral("tablename"), v[0]);
        }
        const auto entitynum = wholeFromValue(v[1], kMin32, kMax32);
        if (!entitynum) {
            invalidValue(display, table, i + 1, mslink, QStringLiteral("entitynum"), v[1]);
        }
        tables[i + 1].tablename = core::trimSpaces(v[0].toString());
        tables[i + 1].entitynum = static_cast<std::int32_t>(*entitynum);
    }
    catalog.TablasMsCatalog = std::move(tables);
    catalog.NumTablasMsCatalog = static_cast<std::int32_t>(rows.size());
    catalog.reindexMsCatalog();
    showCount(display, QStringLiteral("Tablas en MsCatalog : "), catalog.NumTablasMsCatalog);
}

void cargaFeature(engines::Database& bd, core::Display& display, Catalog& catalog) {
    catalog.NumElementosFeature = 0;
    catalog.reindexFeature();
    const QString table = QStringLiteral("Feature");
    const auto rows =
        readCatalog(bd, display, QStringLiteral("feature"), table,
                    {QStringLiteral("tablename"), QStringLiteral("mslink"), QStringLiteral("ftype")}, {});

    std::vector<core::RegFeature> elements(rows.size() + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<QVariant>& v = rows[i].values;
        const auto mslink = wholeFromValue(v[1], kMin32, kMax32);
        if (v[0].isNull()) {
            invalidValue(display, table, i + 1, mslink, QStringLiteral("tablename"), v[0]);
        }
        if (!mslink) {
            invalidValue(display, table, i + 1, mslink, QStringLiteral("mslink"), v[1]);
        }
        const auto ftype = wholeFromValue(v[2], kMin16, kMax16);
        if (!ftype) {
            invalidValue(display, table, i + 1, mslink, QStringLiteral("ftype"), v[2]);
        }
        core::RegFeature& e = elements[i + 1];
        e.tablename = core::trimSpaces(v[0].toString());
        e.mslink = static_cast<std::int32_t>(*mslink);
        e.ftype = static_cast<std::int16_t>(*ftype);
        e.no_asignar = false;
    }
    catalog.ElementosFeature = std::move(elements);
    catalog.NumElementosFeature = static_cast<std::int32_t>(rows.size());
    // The exclusion marking indexes it again after setting flags.
    catalog.reindexFeature();
    showCount(display, QStringLiteral("Elementos en Tabla Feature : "), catalog.NumElementosFeature);
}

FeatureMatch busca_Feature(const Catalog& catalog, QString& codigo) {
    core::limpia_texto(codigo);
    const FeatureIndex& index = catalog.featureIndex();
    const auto code = parseWhole(codigo, kMin32, kMax32);
    FeatureMatch match;
    if (!index.hasCandidate()) {
        // No entry gets as far as reading the code.
        match.passedOver =
            code ? index.missReason(static_cast<std::int32_t>(*code)) : core::PassedOver::NoFeature;
        return match;
    }
    if (!code) {
        match.passedOver = core::PassedOver::NonNumericCode;
        return match;
    }
    match.NombreTabla = index.tableName(static_cast<std::int32_t>(*code));
    if (match.NombreTabla.isEmpty()) {
        match.passedOver = index.missReason(static_cast<std::int32_t>(*code));
    }
    return match;
}

std::int32_t busca_entitynum(const Catalog& catalog, const QString& NombreTabla) {
    return catalog.msCatalogIndex().entitynum(NombreTabla);
}

QString busca_NombreTabla(const Catalog& catalog, std::int32_t entitynum) {
    return catalog.msCatalogIndex().tableName(entitynum);
}

std::vector<QString> assignableTables(const Catalog& catalog) {
    std::vector<QString> tables;
    for (std::int32_t i = 1; i <= catalog.NumElementosFeature; ++i) {
        QString name =
            catalog.featureIndex().tableName(catalog.ElementosFeature[static_cast<std::size_t>(i)].mslink);
        if (!name.isEmpty() && busca_entitynum(catalog, name) > 0) {
            tables.push_back(std::move(name));
        }
    }
    return tables;
}

}  // namespace vexilo::catalog
