#include "schema/verification.h"

#include "catalog/catalogcache.h"
#include "catalog/exclusion.h"
#include "catalog/tablesearch.h"
#include "schema/naturalorder.h"
#include "schema/runlog.h"
#include "schema/tablecreation.h"

namespace vexilo::schema {

namespace {

// A condition the checks cannot repair: the pointer goes back to the default and the job ends with the
// message (an empty message ends it silently, after messages already shown).
[[noreturn]] void finish(core::Display& display, const QString& message) {
    display.setPointer(core::MousePointer::Default);
    throw core::Stop(message);
}

bool hasSpace(const QString& name) {
    return name.contains(QLatin1Char(' '));
}

// A catalog table the job cannot go on without: its stored order is made sure of before it is read.
void requireTable(engines::Database& bd, core::Display& display, const QString& name) {
    if (!catalog::findTable(bd, name)) {
        finish(display, QStringLiteral("No existe la tabla ") + name);
    }
    ensureNaturalOrder(bd, display, name);
}

}  // namespace

void Chequea_tablas_principales(engines::Database& bd, core::Display& display, catalog::Catalog& catalog) {
    requireTable(bd, display, QStringLiteral("MsCatalog"));
    catalog::cargaMsCatalog(bd, display, catalog);
    requireTable(bd, display, QStringLiteral("Feature"));
    catalog::cargaFeature(bd, display, catalog);
    if (catalog::findTable(bd, QStringLiteral("NoAsignar"))) {
        ensureNaturalOrder(bd, display, QStringLiteral("NoAsignar"));
    }
    catalog::MarcaNoAsignar(bd, display, catalog);
    if (!catalog::findTable(bd, kControlProceso)) {
        creaTablaControlProceso(bd);
    } else {
        ensureNaturalOrder(bd, display, kControlProceso);
    }
}

void chequea_resto_tablas(engines::Database& bd, core::Display& display, const catalog::Catalog& catalog) {
    for (std::int32_t i = 1; i <= catalog.NumTablasMsCatalog; ++i) {
        const QString NombreTabla = catalog.TablasMsCatalog[static_cast<std::size_t>(i)].tablename.toUpper();
        if (hasSpace(NombreTabla)) {
            finish(display,
                   QStringLiteral("Nombre de tabla con espacios en la tabla MsCatalog:\r") + NombreTabla);
        }
        Chequea_si_existe_una_tabla_y_si_no_se_crea(bd, display, NombreTabla);
    }
}

void Chequea_si_existe_una_tabla_y_si_no_se_crea(engines::Database& bd, core::Display& display,
                                                 const QString& NombreTabla) {
    const QString sought = NombreTabla.toUpper();
    bool found = false;
    // Every database table met before the match is tested for spaces, listed in the catalog or not.
    const std::int32_t count = bd.TableDefsCount();
    for (std::int32_t i = 0; i < count; ++i) {
        const QString name = bd.TableDefName(i);
        if (hasSpace(name)) {
            finish(display, QStringLiteral("Nombre de tabla con espacios :\r") + name);
        }
        if (name.toUpper() == sought) {
            found = true;
            break;
        }
    }
    if (!found) {
        CreaTabla(bd, NombreTabla);
    } else {
        ensureNaturalOrder(bd, display, NombreTabla);
    }
}

void chequea_estructura_de_tablas(engines::Database& bd, core::Display& display,
                                  const catalog::Catalog& catalog) {
    for (std::int32_t i = 1; i <= catalog.NumTablasMsCatalog; ++i) {
        const QString NombreTabla = catalog.TablasMsCatalog[static_cast<std::size_t>(i)].tablename.toUpper();
        // The catalog's own tables and CATEGORY hold no attribute texts.
        if (NombreTabla == QLatin1String("MSCATALOG") || NombreTabla == QLatin1String("FEATURE") ||
            NombreTabla == QLatin1String("CATEGORY")) {
            continue;
        }
        chequea_si_existen_los_tres_campos_principales(bd, display, NombreTabla);
    }
}

void chequea_si_existen_los_tres_campos_principales(engines::Database& bd, core::Display& display,
                                                    const QString& NombreTabla) {
    const std::vector<QString> fields = bd.FieldNames(NombreTabla);
    const bool tmapa = catalog::hasField(fields, QStringLiteral("tmapa"));
    const bool tcomplet = catalog::hasField(fields, QStringLiteral("tcomplet"));
    const bool tfeature = catalog::hasField(fields, QStringLiteral("tfeature"));
    if (!tmapa) {
        display.message(QStringLiteral("No existe el campo TMAPA en la tabla: ") + NombreTabla,
                        core::Icon::None);
    }
    if (!tcomplet) {
        display.message(QStringLiteral("No existe el campo TCOMPLET en la tabla: ") + NombreTabla,
                        core::Icon::None);
    }
    // Added at once, even when the job ends just below: the repair stays in the database.
    if (!tfeature) {
        bd.AppendField(NombreTabla,
                       engines::TableDef::CreateField(QStringLiteral("tfeature"), engines::dbLong));
    }
    if (!tmapa || !tcomplet) {
        finish(display, QString());
    }
}

}  // namespace vexilo::schema
