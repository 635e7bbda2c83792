#pragma once
// In-memory copies of MsCatalog and Feature, loaded once per job by the schema check, and the three
// lookups the passes make per text element. The arrays keep the load order from entry 1; the lookups
// answer through indexes built at load time (catalog/catalogindex.h) with the same result as a scan from
// entry 1.

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "catalog/catalogindex.h"
#include "core/display.h"
#include "core/records.h"
#include "core/textoutcome.h"
#include "engines/dao.h"

namespace vexilo::catalog {

// One job's copy of the two catalog tables, with the indexes its lookups answer from.
struct Catalog {
    std::vector<core::RegMsCatalog> TablasMsCatalog{1};  // entry 0 unused
    std::vector<core::RegFeature> ElementosFeature{1};   // entry 0 unused
    std::int32_t NumTablasMsCatalog = 0;
    std::int32_t NumElementosFeature = 0;

    // Rebuilt by every load and by the exclusion marking; built from the arrays on first use when a
    // caller filled them by hand.
    const MsCatalogIndex& msCatalogIndex() const;
    const FeatureIndex& featureIndex() const;
    void reindexMsCatalog() { m_msCatalogIndex.reset(); }
    void reindexFeature() { m_featureIndex.reset(); }

  private:
    mutable std::optional<MsCatalogIndex> m_msCatalogIndex;
    mutable std::optional<FeatureIndex> m_featureIndex;
};

// What busca_Feature gives back: the code's table, or why there is none.
struct FeatureMatch {
    QString NombreTabla;  // empty when the code has no table
    core::PassedOver passedOver = core::PassedOver::None;
};

// Loads MsCatalog from bd into TablasMsCatalog / NumTablasMsCatalog and shows "Tablas en MsCatalog : "
// and the count. A row whose tablename is Null or whose entitynum is not a 32-bit whole number stops the
// job (core::Stop naming the table, the row and the field) with nothing loaded.
void cargaMsCatalog(engines::Database& bd, core::Display& display, Catalog& catalog);

// Loads Feature into ElementosFeature / NumElementosFeature, every no_asignar flag false, and shows
// "Elementos en Tabla Feature : " and the count. A Null tablename, or an mslink / ftype that is not a
// whole number within 32 / 16 bits, stops the job with nothing loaded.
void cargaFeature(engines::Database& bd, core::Display& display, Catalog& catalog);

// Cleans codigo in place (limpia_texto) and gives back the table of the first Feature entry, in load
// order, that is neither a centroid (ftype 4) nor excluded and whose mslink equals the code read as a
// decimal number. Without one, the reason: NonNumericCode for a code that is not a whole decimal number
// within 32 bits (only when some entry is a candidate, since the code is read only then), Centroid or
// Excluded when the code's feature is passed over for that, NoFeature otherwise.
FeatureMatch busca_Feature(const Catalog& catalog, QString& codigo);

// The entity number of the MsCatalog entry whose name equals NombreTabla exactly (case-sensitive,
// nothing trimmed on the caller's side); 0 when there is none.
std::int32_t busca_entitynum(const Catalog& catalog, const QString& NombreTabla);

// The name of the first MsCatalog entry with this entity number; "" when there is none.
QString busca_NombreTabla(const Catalog& catalog, std::int32_t entitynum);

// Every table busca_Feature may give whose name busca_entitynum finds: those whose records a text's code
// may lead to. In Feature's order; a name may come more than once.
std::vector<QString> assignableTables(const Catalog& catalog);

}  // namespace vexilo::catalog
