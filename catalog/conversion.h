#pragma once
// Conversions of values read from the database or the drawing into the catalog's numbers. The engine
// gives whatever a column holds (SQLite keeps a text in a numeric column), so every value is checked:
// a catalog that does not convert is refused as a whole rather than half loaded.

#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

#include "engines/dao.h"

namespace vexilo::catalog {

// A whole decimal number: an optional sign and one or more ASCII digits, nothing else. Empty text,
// inner blanks, decimals and values outside [min, max] give nothing.
std::optional<std::int64_t> parseWhole(QStringView text, std::int64_t min, std::int64_t max);

// A database value as a whole number within [min, max]: integers, integral reals and numeric texts
// (surrounded by spaces or not). Null, blobs, other texts and fractions give nothing.
std::optional<std::int64_t> wholeFromValue(const QVariant& value, std::int64_t min, std::int64_t max);
// The same for a column of a row as the engine read it: a whole number stored as one is taken as it is.
std::optional<std::int64_t> wholeFromRow(const engines::Database::StoredRow& row, std::size_t column,
                                         std::int64_t min, std::int64_t max);

// How a refused value is named in a message: "nulo" for Null, the value between quotes otherwise.
QString describeValue(const QVariant& value);

}  // namespace vexilo::catalog
