#include "schema/naturalorder.h"

namespace vexilo::schema {

void ensureNaturalOrder(core::RunState& f, const QString& NombreTabla) {
    if (f.Bd->HasNaturalOrder(NombreTabla)) {
        return;
    }
    f.display->notice(QStringLiteral("La tabla %1 no guardaba el orden de sus filas: se le añade la "
                                     "columna vexilo_orden, que lo guarda desde ahora.")
                          .arg(NombreTabla));
    f.Bd->AddNaturalOrder(NombreTabla);
}

}  // namespace vexilo::schema
