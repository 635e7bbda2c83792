#pragma once
// The stored order of the tables a job reads. A server database keeps it in a column of the engine's
// own, which tables made by other programs lack: such a table gets it before the job reads it, and the
// user is told once per table.

#include <QString>

#include "core/display.h"
#include "engines/dao.h"

namespace vexilo::schema {

// Gives NombreTabla its stored-order column when it lacks one (nothing on an engine that keeps the
// order by itself), with a notice naming the table.
void ensureNaturalOrder(engines::Database& bd, core::Display& display, const QString& NombreTabla);

}  // namespace vexilo::schema
