#pragma once
// Rows in the binary form of PostgreSQL's COPY, for the inserts the server would otherwise parse from
// text: whole numbers, texts (the same UTF-8, which the server checks alike) and timestamps, each sent
// as the server keeps it. A value the binary form cannot carry exactly as its text form would reach the
// column (a number outside the column's width, a date not written as the stored dates are) makes its row
// go in the text form, and the server judges it as before. Internal to the engine layer.

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>
#include <span>

namespace vexilo::engines {

// How a column's values are sent in the binary form; None: its type is not one sent here.
enum class BinaryColumn { None, Int2, Int4, Int8, Utf8, Timestamp };

// The column's kind from its type as pg_catalog.format_type writes it.
BinaryColumn binaryColumnOf(const QString& formattedType);

// Appends one tuple: `first` (when given) for the first column, then the values (in their stored form)
// for the others; false, leaving `out` as it was, when any value cannot be carried.
bool appendBinaryRow(QByteArray& out, std::span<const BinaryColumn> columns,
                     std::optional<std::int64_t> first, std::span<const QVariant> values);

// What comes before the first tuple and after the last.
QByteArray binaryCopyHeader();
QByteArray binaryCopyTrailer();

}  // namespace vexilo::engines
