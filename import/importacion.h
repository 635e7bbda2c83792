#pragma once
// An import between any two databases: an Access file (only ever read), a SQLite file, or a server
// database named by a connection URI (platform/databasename.h). Every user table is copied with its
// columns, their kinds and text sizes, Nulls as Nulls and its rows in stored order; after the copy
// every table's row count in the destination is checked against the source's, and only then is the
// copy published: a SQLite destination is written under a temporary name and renamed at the end, a
// server destination is written in one transaction. Names of server databases appear in messages
// without their passwords.

#include <QString>
#include <vector>

#include "import/accessimport.h"
#include "import/lectorflujo.h"

namespace vexilo::importacion {

// Imports `origen` into `destino`. A file destination becomes a new SQLite database (an existing file
// is replaced only with `forzar`); a server destination is created when the server lacks it, and a
// table it already holds (named in any case like one of the source's) is replaced only with `forzar`.
// Throws ErrorImportacion, with nothing published, for: a missing source file, a source that is not a
// database, a source that cannot be read whole (a damaged Access file, a server table without a stored
// order), a destination that is the source itself, an Access file as destination, an existing
// destination file or table without `forzar`, a row count that does not match, and any failure to
// write the destination.
Resultado importa(const QString& origen, const QString& destino, bool forzar);

// Reads the Access file `origen` into `destino` and checks the row counts (no commit).
Resultado vuelcaAccess(const QString& origen, Destino& destino);

// ErrorImportacion unless every table holds in `destino` the rows the source gave.
void compruebaFilas(const std::vector<TablaImportada>& tablas, Destino& destino);

}  // namespace vexilo::importacion
