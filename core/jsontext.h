#pragma once
// JSON texts written piece by piece, for the documents the command line streams (a drawing's dump, a
// job's report): nothing is built in memory beyond the caller's buffer.

#include <QByteArray>
#include <QStringView>

namespace vexilo::core {

// Appends `text` to `out` as a JSON string: quoted, in UTF-8, with '"', '\' and the control characters
// escaped (\u00XX). A lone surrogate, which no UTF-8 can hold, is written as U+FFFD.
void appendJsonString(QByteArray& out, QStringView text);

}  // namespace vexilo::core
