#pragma once
// A database of the engine layer (a SQLite file or a server database) as the source of an import:
// every user table with its columns, in the engine's listing order, and its rows in stored order,
// handed to a Receptor as the Access reader hands them. The source is only read.

#include <vector>

#include "engines/dao.h"
#include "import/streamreader.h"

namespace vexilo::importer {

// The column that keeps a field of the engine: its field type and size (StreamColumn::engineType), and
// the nearest kind: whole numbers of 16 bits as Integer and of 32 (or 64) bits as LongInteger, reals
// and exact decimals as Double, dates as Fecha, yes/no as Boolean, sized texts as Text, unbounded texts
// as Memo, bytes as Binary.
StreamColumn columnFor(const engines::FieldDef& field);

// A value read by the engine as the Receptor takes it: dates as their stored text (engines/datetext.h),
// yes/no as 1 or 0, every other value as it was read, keeping its kind. Null stays Null; a value that is not
// of the kind (a text in a date column) is kept as it is, for the destination to refuse.
QVariant valueFor(const StreamColumn& column, const QVariant& valor);

// Hands every user table of `bd` to `receptor`, row by row as they are read, and returns the tables
// with the rows read. A column of 16 or 32-bit whole numbers whose values do not fit it arrives as a
// column of 64-bit numbers. An engine failure (a table without a stored order, a lost connection)
// propagates as core::EngineError.
std::vector<ImportedTable> readDatabase(engines::Database& bd, Receptor& receptor);

}  // namespace vexilo::importer
