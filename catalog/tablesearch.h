#pragma once
// Finding tables and fields by name in the open database. Names are compared as the job compares them
// everywhere: both sides upper-cased, nothing trimmed.

#include <QString>
#include <vector>

#include "engines/dao.h"

namespace vexilo::catalog {

// Whether one of the database's table definitions is named NombreTabla. Shared by the schema checks and
// the exclusion marking.
bool findTable(engines::Database& bd, const QString& NombreTabla);

// Whether `field` is among `fields`.
bool hasField(const std::vector<QString>& fields, const QString& field);

}  // namespace vexilo::catalog
