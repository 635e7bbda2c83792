#pragma once
// Verification and repair of the database before every run, in this order:
// Chequea_tablas_principales, chequea_resto_tablas, chequea_estructura_de_tablas.
// Conditions that cannot be repaired throw platform::Stop (after the messages that let the user read them).

#include <QString>

#include "core/runstate.h"

namespace vexilo::schema {

void Chequea_tablas_principales(core::RunState& f);
void chequea_resto_tablas(core::RunState& f);
void chequea_estructura_de_tablas(core::RunState& f);
void Chequea_si_existe_una_tabla_y_si_no_se_crea(core::RunState& f, const QString& NombreTabla);
void chequea_si_existen_los_tres_campos_principales(core::RunState& f, const QString& NombreTabla);

}  // namespace vexilo::schema
