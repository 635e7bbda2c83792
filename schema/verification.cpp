#include "schema/verification.h"

namespace vexilo::schema {

// Not built yet: the run goes straight to the pass.
void Chequea_tablas_principales(app::RunState&) {}
void chequea_resto_tablas(app::RunState&) {}
void chequea_estructura_de_tablas(app::RunState&) {}
void Chequea_si_existe_una_tabla_y_si_no_se_crea(app::RunState&, const QString&) {}
void chequea_si_existen_los_tres_campos_principales(app::RunState&, const QString&) {}

}  // namespace vexilo::schema
