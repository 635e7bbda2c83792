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
[[noreturn]] void finish(core::RunState& f, const QString& message) {
    f.display->setPointer(platform::MousePointer::Default);
    throw platform::Stop(message);
}

bool hasSpace(const QString& name) {
    return name.contains(QLatin1Char(' '));
}

}  // namespace

void Chequea_tablas_principales(core::RunState& f) {
    f.NumeroTablas = f.Bd->TableDefsCount();
    catalog::findTable(f, QStringLiteral("MsCatalog"));
    if (!f.TablaEncontrada) {
        finish(f, QStringLiteral("No existe la tabla MsCatalog"));
    }
    ensureNaturalOrder(f, QStringLiteral("MsCatalog"));
    catalog::cargaMsCatalog(f);

    catalog::findTable(f, QStringLiteral("Feature"));
    if (!f.TablaEncontrada) {
        finish(f, QStringLiteral("No existe la tabla Feature"));
    }
    ensureNaturalOrder(f, QStringLiteral("Feature"));
    catalog::cargaFeature(f);
    catalog::findTable(f, QStringLiteral("NoAsignar"));
    if (f.TablaEncontrada) {
        ensureNaturalOrder(f, QStringLiteral("NoAsignar"));
    }
    catalog::MarcaNoAsignar(f);

    catalog::findTable(f, QStringLiteral("CONTROLPROCESO"));
    if (!f.TablaEncontrada) {
        creaTablaControlProceso(f);
    } else {
        ensureNaturalOrder(f, QStringLiteral("CONTROLPROCESO"));
    }
}

void chequea_resto_tablas(core::RunState& f) {
    for (std::int32_t i = 1; i <= f.NumTablasMsCatalog; ++i) {
        f.NombreTablaActual = f.TablasMsCatalog[static_cast<std::size_t>(i)].tablename.toUpper();
        if (hasSpace(f.NombreTablaActual)) {
            finish(f, QStringLiteral("Nombre de tabla con espacios en la tabla MsCatalog:\r") +
                          f.NombreTablaActual);
        }
        Chequea_si_existe_una_tabla_y_si_no_se_crea(f, f.NombreTablaActual);
    }
}

void Chequea_si_existe_una_tabla_y_si_no_se_crea(core::RunState& f, const QString& NombreTabla) {
    const QString sought = NombreTabla.toUpper();
    f.TablaEncontrada = false;
    // Every database table met before the match is tested for spaces, listed in the catalog or not.
    for (std::int32_t i = 0; i < f.NumeroTablas; ++i) {
        const QString name = f.Bd->TableDefName(i);
        if (hasSpace(name)) {
            finish(f, QStringLiteral("Nombre de tabla con espacios :\r") + name);
        }
        if (name.toUpper() == sought) {
            f.TablaEncontrada = true;
            break;
        }
    }
    if (!f.TablaEncontrada) {
        CreaTabla(f, NombreTabla);
    } else {
        ensureNaturalOrder(f, NombreTabla);
    }
}

void chequea_estructura_de_tablas(core::RunState& f) {
    for (std::int32_t i = 1; i <= f.NumTablasMsCatalog; ++i) {
        f.NombreTablaActual = f.TablasMsCatalog[static_cast<std::size_t>(i)].tablename.toUpper();
        // The catalog's own tables and CATEGORY hold no attribute texts.
        if (f.NombreTablaActual == QLatin1String("MSCATALOG") ||
            f.NombreTablaActual == QLatin1String("FEATURE") ||
            f.NombreTablaActual == QLatin1String("CATEGORY")) {
            continue;
        }
        chequea_si_existen_los_tres_campos_principales(f, f.NombreTablaActual);
    }
}

void chequea_si_existen_los_tres_campos_principales(core::RunState& f, const QString& NombreTabla) {
    const std::vector<QString> fields = f.Bd->FieldNames(NombreTabla);
    const bool tmapa = catalog::hasField(fields, QStringLiteral("tmapa"));
    const bool tcomplet = catalog::hasField(fields, QStringLiteral("tcomplet"));
    const bool tfeature = catalog::hasField(fields, QStringLiteral("tfeature"));
    if (!tmapa) {
        f.display->message(QStringLiteral("No existe el campo TMAPA en la tabla: ") + NombreTabla,
                           platform::Icon::None);
    }
    if (!tcomplet) {
        f.display->message(QStringLiteral("No existe el campo TCOMPLET en la tabla: ") + NombreTabla,
                           platform::Icon::None);
    }
    // Added at once, even when the job ends just below: the repair stays in the database.
    if (!tfeature) {
        f.Bd->AppendField(NombreTabla,
                          platform::TableDef::CreateField(QStringLiteral("tfeature"), platform::dbLong));
    }
    if (!tmapa || !tcomplet) {
        finish(f, QString());
    }
}

}  // namespace vexilo::schema
