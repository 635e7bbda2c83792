#pragma once
// Why the system refused a file operation, in the user's words. The system's own text (strerror, a
// QFile's errorString) follows the machine's language, which is English on most servers, and a message
// of ours must read in Spanish whole.

#include <QString>

class QFileDevice;

namespace vexilo::core {

// The reason for the system's error number `error` (errno): a short Spanish phrase that goes after a
// colon ("no se puede escribir el fichero X: el disco está lleno"). A number without a phrase of its own
// is given by its number.
QString systemReason(int error);

// The reason of a file whose last operation failed: from `error` when the caller kept errno right after
// the failing call, else from the kind of failure the file records.
QString fileReason(const QFileDevice& file, int error);

}  // namespace vexilo::core
