#pragma once
// Verification and repair of the database before every run, in this order:
// Chequea_tablas_principales, chequea_resto_tablas, chequea_estructura_de_tablas.
// Conditions that cannot be repaired throw platform::Stop (after the messages that let the user read them).

#include <QString>

#include "app/runstate.h"

namespace vexilo::schema {

void Chequea_tablas_principales(app::RunState& f);
void chequea_resto_tablas(app::RunState& f);
void chequea_estructura_de_tablas(app::RunState& f);
void Chequea_si_existe_una_tabla_y_si_no_se_crea(app::RunState& f, const QString& NombreTabla);
void chequea_si_existen_los_tres_campos_principales(app::RunState& f, const QString& NombreTabla);

// The table search shared by the checks and the exclusion marking: TablaEncontrada tells whether one of
// the first NumeroTablas table definitions is named NombreTabla, compared upper-cased, nothing trimmed.
void buscaTabla(app::RunState& f, const QString& NombreTabla);

}  // namespace vexilo::schema
