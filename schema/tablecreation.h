#pragma once
// Creation of an attribute table that MsCatalog lists and the database lacks.

#include <QString>

#include "engines/dao.h"

namespace vexilo::schema {

// Creates the table NombreTabla, named exactly as passed, with the five standard fields in order:
// MsLink (32-bit), tcomplet (text, engine's default size), tmapa (text 100), tfeature (32-bit),
// clasific (16-bit); no key, no index, no rows. An engine
// error (name taken or refused, read-only database) propagates and creates nothing.
void CreaTabla(engines::Database& bd, const QString& NombreTabla);

}  // namespace vexilo::schema
