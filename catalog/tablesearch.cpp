#include "catalog/tablesearch.h"

namespace vexilo::catalog {

void findTable(core::RunState& f, const QString& NombreTabla) {
    const QString sought = NombreTabla.toUpper();
    f.TablaEncontrada = false;
    for (std::int32_t i = 0; i < f.NumeroTablas; ++i) {
        if (f.Bd->TableDefName(i).toUpper() == sought) {
            f.TablaEncontrada = true;
            return;
        }
    }
}

bool hasField(const std::vector<QString>& fields, const QString& field) {
    const QString sought = field.toUpper();
    for (const QString& c : fields) {
        if (c.toUpper() == sought) {
            return true;
        }
    }
    return false;
}

}  // namespace vexilo::catalog
