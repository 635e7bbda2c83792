#pragma once
// The reading half of the Access import, run inside vexilo-accessreader: opens the file with libmdb and
// writes every user table its catalog lists, with its columns and rows, as frames of the stream in
// accessstream.h. It holds no Qt and does no checking on behalf of the importer beyond what only libmdb
// can tell (the catalog and the tables read whole); the importer checks the stream itself.

#include "import/accessstream.h"

namespace vexilo::accessreader {

namespace stream = importer::stream;

// Reads `source` and writes its tables to `w`, ending with 'Z', 'D' (the file is damaged: a catalog or
// a table that cannot be read whole) or 'X' (a value too large to import). Libmdb may print warnings
// on the process's standard output and error meanwhile; the caller keeps them out of the stream.
void readAccess(const char* source, stream::Writer& w);

}  // namespace vexilo::accessreader
