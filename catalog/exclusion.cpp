#include "catalog/exclusion.h"

#include <limits>
#include <unordered_set>

#include "catalog/conversion.h"
#include "catalog/tablesearch.h"

namespace vexilo::catalog {

namespace {

// The listed codes, read once: testing each Feature entry against a set flags exactly the entries
// that a scan of NoAsignar per entry would flag.
std::unordered_set<std::int64_t> readExcludedCodes(engines::Database& bd) {
    std::unordered_set<std::int64_t> codes;
    // Opened as a recordset rather than read by columns so that a table without mslink is the engine's
    // error, as for any other missing field.
    const std::unique_ptr<engines::Recordset> r =
        bd.OpenRecordset(engines::Query::table(QStringLiteral("NOASIGNAR")), engines::dbOpenDynaset);
    if (r->RecordCount() > 0) {
        for (r->MoveFirst(); !r->Eof(); r->MoveNext()) {
            const auto codigo =
                wholeFromValue(r->Value(QStringLiteral("mslink")), std::numeric_limits<std::int64_t>::min(),
                               std::numeric_limits<std::int64_t>::max());
            if (codigo) {
                codes.insert(*codigo);
            }
        }
    }
    // Closed here rather than left open until the database closes: a recordset must not outlive it.
    r->Close();
    return codes;
}

}  // namespace

void MarcaNoAsignar(engines::Database& bd, core::Display& display, Catalog& catalog) {
    if (!findTable(bd, QStringLiteral("NoAsignar"))) {
        display.setPointer(core::MousePointer::Default);
        display.message(
            QStringLiteral("No existe la tabla NoAsignar\rSe asignarán todos los elementos que se "
                           "encuentren en la tabla FEATURE, excepto los centroides (ftype=4)"),
            core::Icon::None);
        return;
    }
    const auto codes = readExcludedCodes(bd);
    for (std::int32_t i = 1; i <= catalog.NumElementosFeature; ++i) {
        core::RegFeature& e = catalog.ElementosFeature[static_cast<std::size_t>(i)];
        if (codes.count(e.mslink) > 0) {
            e.no_asignar = true;
        }
    }
    catalog.reindexFeature();
}

}  // namespace vexilo::catalog
