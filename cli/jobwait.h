#pragma once
// How a command that writes a whole database (importar, demo) waits for a job that runs on it: the
// option --espera SEGUNDOS (ten minutes unless given) and the job's own notice on standard error.

#include <QString>

#include "cli/arguments.h"
#include "platform/replacement.h"

namespace vexilo::cli {

// The option's text for the usage of a command that writes `what` ("el destino", "la base de datos").
QString waitUsage(const QString& what);

// The wait as the arguments ask (a usage error for a value that is no number of seconds from 0 to a
// week), with the job's notice naming the database waited for.
platform::JobWaitOptions jobWait(const Arguments& a);

}  // namespace vexilo::cli
