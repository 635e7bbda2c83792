#include "catalog/exclusion.h"

#include <limits>
#include <unordered_set>

#include "catalog/catalogindex.h"
#include "catalog/conversion.h"
#include "catalog/tablesearch.h"

namespace vexilo::catalog {

namespace {

// The listed codes, read once: testing each Feature entry against a set flags exactly the entries
// that a scan of NoAsignar per entry would flag.
std::unordered_set<std::int64_t> readExcludedCodes(core::RunState& f) {
    std::unordered_set<std::int64_t> codes;
    // Opened as a recordset rather than read by columns so that a table without mslink is the engine's
    // error, as for any other missing field.
    f.r = f.Bd->OpenRecordset(platform::Query::table(QStringLiteral("NOASIGNAR")), platform::dbOpenDynaset);
    if (f.r->RecordCount() > 0) {
        for (f.r->MoveFirst(); !f.r->Eof(); f.r->MoveNext()) {
            const auto codigo =
                wholeFromValue(f.r->Value(QStringLiteral("mslink")), std::numeric_limits<std::int64_t>::min(),
                               std::numeric_limits<std::int64_t>::max());
            if (codigo) {
                codes.insert(*codigo);
            }
        }
    }
    // Closed here rather than left open until the database closes: a recordset must not outlive it.
    f.r->Close();
    f.r.reset();
    return codes;
}

}  // namespace

void MarcaNoAsignar(core::RunState& f) {
    findTable(f, QStringLiteral("NoAsignar"));
    if (!f.TablaEncontrada) {
        f.display->setPointer(platform::MousePointer::Default);
        f.display->message(
            QStringLiteral("No existe la tabla NoAsignar\rSe asignarán todos los elementos que se "
                           "encuentren en la tabla FEATURE, excepto los centroides (ftype=4)"),
            platform::Icon::None);
        return;
    }
    const auto codes = readExcludedCodes(f);
    for (std::int32_t i = 1; i <= f.NumElementosFeature; ++i) {
        core::RegFeature& e = f.ElementosFeature[static_cast<std::size_t>(i)];
        if (codes.count(e.mslink) > 0) {
            e.no_asignar = true;
        }
    }
    f.caches.put(std::make_shared<FeatureIndex>(f.ElementosFeature, f.NumElementosFeature));
}

}  // namespace vexilo::catalog
