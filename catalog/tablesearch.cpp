#include "catalog/tablesearch.h"

namespace vexilo::catalog {

bool findTable(engines::Database& bd, const QString& NombreTabla) {
    const QString sought = NombreTabla.toUpper();
    const std::int32_t count = bd.TableDefsCount();
    for (std::int32_t i = 0; i < count; ++i) {
        if (bd.TableDefName(i).toUpper() == sought) {
            return true;
        }
    }
    return false;
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
