#include "catalog/tablesearch.h"

namespace vexilo::catalog {

void buscaTabla(core::RunState& f, const QString& NombreTabla) {
    const QString buscado = NombreTabla.toUpper();
    f.TablaEncontrada = false;
    for (std::int32_t i = 0; i < f.NumeroTablas; ++i) {
        if (f.Bd->TableDefName(i).toUpper() == buscado) {
            f.TablaEncontrada = true;
            return;
        }
    }
}

bool hasField(const std::vector<QString>& campos, const QString& campo) {
    const QString buscado = campo.toUpper();
    for (const QString& c : campos) {
        if (c.toUpper() == buscado) {
            return true;
        }
    }
    return false;
}

}  // namespace vexilo::catalog
