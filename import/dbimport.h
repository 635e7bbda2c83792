#pragma once
// An import between any two databases: an Access file (only ever read), a SQLite file, or a server
// database named by a connection URI (engines/databasename.h). Every user table is copied with its
// columns, their kinds and text sizes, Nulls as Nulls and its rows in stored order; after the copy
// every table's row count in the destination is checked against the source's, and only then is the
// copy published: a SQLite destination is written under a temporary name and renamed at the end, a
// server destination is written in one transaction. Names of server databases appear in messages
// without their passwords.

#include <QString>
#include <vector>

#include "import/accessimport.h"
#include "import/streamreader.h"

namespace vexilo::importer {

// Imports `source` into `destination`. A file destination becomes a new SQLite database (an existing file
// is replaced only with `force`); a server destination is created when the server lacks it, and a
// table it already holds (named in any case like one of the source's) is replaced only with `force`.
// Throws ImportError, with nothing published, for: a missing source file, a source that is not a
// database, a source that cannot be read whole (a damaged Access file, a server table without a stored
// order), a destination that is the source itself, an Access file as destination, an existing
// destination file or table without `force`, a row count that does not match, and any failure to
// write the destination. An existing destination is held as a job holds it until the copy is published,
// a job on it being waited for as `wait` says (past the limit, ImportError with nothing done); a
// replaced destination file is kept beside the new one as a dated backup (Result::backup). When
// `wait.interrupted` answers true (asked during the waits, at every table and every thousand rows or so),
// the import ends with core::Interrupted, nothing published and its temporary file removed.
Result runImport(const QString& source, const QString& destination, bool force,
                 const engines::JobWaitOptions& wait = {});

// Reads the Access file `source` into `destination` and checks the row counts (no commit).
Result copyAccess(const QString& source, Destination& destination);

// ImportError unless every table holds in `destination` the rows the source gave.
void checkRowCounts(const std::vector<ImportedTable>& tables, Destination& destination);

}  // namespace vexilo::importer
