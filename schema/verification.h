#pragma once
// Verification and repair of the database before every run, in this order:
// Chequea_tablas_principales, chequea_resto_tablas, chequea_estructura_de_tablas.
// Conditions that cannot be repaired throw core::Stop (after the messages that let the user read them).

#include <QString>

#include "catalog/catalogcache.h"
#include "core/display.h"
#include "engines/dao.h"

namespace vexilo::schema {

// Confirms MsCatalog and Feature (a missing one stops the job), loads both into `catalog`, marks the
// excluded features and creates CONTROLPROCESO when it is missing.
void Chequea_tablas_principales(engines::Database& bd, core::Display& display, catalog::Catalog& catalog);
// Every table that the catalog names exists afterwards (created when missing); a name with a space stops
// the job.
void chequea_resto_tablas(engines::Database& bd, core::Display& display, const catalog::Catalog& catalog);
// Every attribute table that the catalog names has tmapa, tcomplet and tfeature afterwards, or the job
// stops.
void chequea_estructura_de_tablas(engines::Database& bd, core::Display& display,
                                  const catalog::Catalog& catalog);
void Chequea_si_existe_una_tabla_y_si_no_se_crea(engines::Database& bd, core::Display& display,
                                                 const QString& NombreTabla);
void chequea_si_existen_los_tres_campos_principales(engines::Database& bd, core::Display& display,
                                                    const QString& NombreTabla);

}  // namespace vexilo::schema
