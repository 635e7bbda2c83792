#pragma once
// How a finished file takes its name, for every program that writes one (the job's output drawing, an
// imported database): it is written beside its final name under a name of its own, then put on the disk
// and renamed over the old file in one step, and the folder is put on the disk too. The old file is never
// removed first, so at every moment the name holds either the whole old file or the whole new one, also
// across a crash or a loss of power.

#include <QString>

namespace vexilo::engines {

// Syncs `written` to the disk, renames it to `finalName` (replacing a file of that name at once) and
// syncs the folder. A failure is a RunError (kFileAccess) naming `finalName` and the system's reason;
// `written` is then left where it is, for the caller to remove.
void publishFile(const QString& written, const QString& finalName);

// The name a file of this process is written under before it takes `finalName`:
// "<finalName>.parcial-<pid>".
QString partialName(const QString& finalName);

// Removes the files "<finalName>.parcial-<pid>" (and the journal SQLite keeps beside a database written
// so) that processes no longer running left beside `finalName` (killed halfway); the files of running
// processes stay.
void removeDeadPartials(const QString& finalName);

}  // namespace vexilo::engines
