#pragma once
// Where the command line writes: results on standard output, messages and progress on standard error.
// Both are UTF-8; the job's line breaks (a lone carriage return) become new lines.

#include <QString>
#include <QTextStream>

namespace vexilo::cli {

QTextStream& salida();   // standard output
QTextStream& errores();  // standard error, flushed after every write made through escribeError

void escribeError(const QString& texto);   // one or more lines on standard error
QString comoLineas(const QString& texto);  // CR, CRLF and LF all become LF

}  // namespace vexilo::cli
