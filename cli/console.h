#pragma once
// Where the command line writes: results on standard output, messages and progress on standard error.
// Both are UTF-8; the job's line breaks (a lone carriage return) become new lines.

#include <QString>
#include <QTextStream>

namespace vexilo::cli {

QTextStream& output();  // standard output
QTextStream& errors();  // standard error, flushed after every write made through writeError

void writeError(const QString& texto);  // one or more lines on standard error
QString asLines(const QString& texto);  // CR, CRLF and LF all become LF

}  // namespace vexilo::cli
