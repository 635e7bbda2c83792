#pragma once
// The polite stops of the command line: SIGTERM (a shutdown, kill, timeout), SIGINT (Ctrl-C) and SIGHUP
// (the terminal closed) ask the command to end as the window's close question does, instead of killing
// it where it stands. The handler only notes the request; the job, the import and the sample ask for it
// between two elements or rows and during their wait for a database, and end with core::Interrupted:
// everything undone, their partial files removed.
//
// A second signal while the command stops only notes the request again: the stop is already on its way,
// and what is left of it (a rollback, removing the files it wrote) is short; dying in the middle of it
// would leave the very files the stop removes. SIGKILL remains for a command that must end at once.

#include <QString>

namespace vexilo::cli {

// Installs the handlers for the life of the process. Call it before the command writes anything.
void catchStopSignals();

// Whether one of the signals has arrived. Safe from any thread.
bool stopRequested();

// The one line each command prints after a stop, saying what was left as it was.
QString jobInterruptedMessage(const QString& drawing);
QString importInterruptedMessage(const QString& destination);
QString sampleInterruptedMessage(const QString& folder);

}  // namespace vexilo::cli
