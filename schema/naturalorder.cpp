#include "schema/naturalorder.h"

namespace vexilo::schema {

void ensureNaturalOrder(engines::Database& bd, core::Display& display, const QString& NombreTabla) {
    if (bd.HasNaturalOrder(NombreTabla)) {
        return;
    }
    display.notice(QStringLiteral("La tabla %1 no guardaba el orden de sus filas: se le añade la "
                                  "columna vexilo_orden, que lo guarda desde ahora.")
                       .arg(NombreTabla));
    bd.AddNaturalOrder(NombreTabla);
}

}  // namespace vexilo::schema
