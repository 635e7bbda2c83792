#pragma once
// Finding tables and fields by name in the open database. Names are compared as the job compares them
// everywhere: both sides upper-cased, nothing trimmed.

#include <QString>
#include <vector>

#include "core/runstate.h"

namespace vexilo::catalog {

// TablaEncontrada tells whether one of the first NumeroTablas table definitions is named NombreTabla.
// Shared by the schema checks and the exclusion marking.
void findTable(core::RunState& f, const QString& NombreTabla);

// Whether `field` is among `fields`.
bool hasField(const std::vector<QString>& fields, const QString& field);

}  // namespace vexilo::catalog
