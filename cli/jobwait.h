#pragma once
// How a command waits for a job that runs on its database: the option --espera SEGUNDOS (as long as
// engines::kJobWaitLimit unless given) and, for a command that writes a whole database (importar, demo),
// the job's own notice on standard error.

#include <chrono>

#include "cli/arguments.h"
#include "engines/replacement.h"

namespace vexilo::cli {

// The wait that --espera asks for, engines::kJobWaitLimit without it. A UsageError for a value that is no
// whole number of seconds from 0 to a week.
std::chrono::seconds waitOption(const Arguments& a);

// The wait of a command that writes a whole database, as --espera asks, with the job's notice naming the
// database waited for; a stop signal (stopsignals.h) ends it, and the copy after it.
engines::JobWaitOptions jobWait(const Arguments& a);

}  // namespace vexilo::cli
