#pragma once
// The exclusion marking: Feature entries whose mslink is listed in the optional table NoAsignar are
// flagged (no_asignar), and busca_Feature passes over them.

#include "catalog/catalogcache.h"

namespace vexilo::catalog {

// Runs right after cargaFeature. Looks for NoAsignar (any case) among the database's tables. Found: flags
// every entry whose mslink is listed (a Null or non-numeric listed value marks nothing). Not found: resets
// the pointer and shows the two-line message; the job goes on with nothing flagged. An engine error (no
// mslink column) propagates.
void MarcaNoAsignar(engines::Database& bd, core::Display& display, Catalog& catalog);

}  // namespace vexilo::catalog
