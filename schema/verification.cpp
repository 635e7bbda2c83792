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
[[noreturn]] void termina(core::RunState& f, const QString& mensaje) {
    f.display->setPointer(platform::MousePointer::Default);
    throw platform::Stop(mensaje);
}

bool hasSpace(const QString& nombre) {
    return nombre.contains(QLatin1Char(' '));
}

}  // namespace

void Chequea_tablas_principales(core::RunState& f) {
    f.NumeroTablas = f.Bd->TableDefsCount();
    catalog::buscaTabla(f, QStringLiteral("MsCatalog"));
    if (!f.TablaEncontrada) {
        termina(f, QStringLiteral("No existe la tabla MsCatalog"));
    }
    aseguraOrdenNatural(f, QStringLiteral("MsCatalog"));
    catalog::cargaMsCatalog(f);

    catalog::buscaTabla(f, QStringLiteral("Feature"));
    if (!f.TablaEncontrada) {
        termina(f, QStringLiteral("No existe la tabla Feature"));
    }
    aseguraOrdenNatural(f, QStringLiteral("Feature"));
    catalog::cargaFeature(f);
    catalog::buscaTabla(f, QStringLiteral("NoAsignar"));
    if (f.TablaEncontrada) {
        aseguraOrdenNatural(f, QStringLiteral("NoAsignar"));
    }
    catalog::MarcaNoAsignar(f);

    catalog::buscaTabla(f, QStringLiteral("CONTROLPROCESO"));
    if (!f.TablaEncontrada) {
        creaTablaControlProceso(f);
    } else {
        aseguraOrdenNatural(f, QStringLiteral("CONTROLPROCESO"));
    }
}

void chequea_resto_tablas(core::RunState& f) {
    for (std::int32_t i = 1; i <= f.NumTablasMsCatalog; ++i) {
        f.NombreTablaActual = f.TablasMsCatalog[static_cast<std::size_t>(i)].tablename.toUpper();
        if (hasSpace(f.NombreTablaActual)) {
            termina(f, QStringLiteral("Nombre de tabla con espacios en la tabla MsCatalog:\r") +
                           f.NombreTablaActual);
        }
        Chequea_si_existe_una_tabla_y_si_no_se_crea(f, f.NombreTablaActual);
    }
}

void Chequea_si_existe_una_tabla_y_si_no_se_crea(core::RunState& f, const QString& NombreTabla) {
    const QString buscado = NombreTabla.toUpper();
    f.TablaEncontrada = false;
    // Every database table met before the match is tested for spaces, listed in the catalog or not.
    for (std::int32_t i = 0; i < f.NumeroTablas; ++i) {
        const QString nombre = f.Bd->TableDefName(i);
        if (hasSpace(nombre)) {
            termina(f, QStringLiteral("Nombre de tabla con espacios :\r") + nombre);
        }
        if (nombre.toUpper() == buscado) {
            f.TablaEncontrada = true;
            break;
        }
    }
    if (!f.TablaEncontrada) {
        CreaTabla(f, NombreTabla);
    } else {
        aseguraOrdenNatural(f, NombreTabla);
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
    const std::vector<QString> campos = f.Bd->FieldNames(NombreTabla);
    const bool tmapa = catalog::hasField(campos, QStringLiteral("tmapa"));
    const bool tcomplet = catalog::hasField(campos, QStringLiteral("tcomplet"));
    const bool tfeature = catalog::hasField(campos, QStringLiteral("tfeature"));
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
        termina(f, QString());
    }
}

}  // namespace vexilo::schema
