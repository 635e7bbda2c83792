#pragma once
// How a finished file takes its name, for every program that writes one (the job's output drawing, an
// imported database): it is written beside its final name under a name of its own, then put on the disk
// and renamed over the old file in one step, and the folder is put on the disk too. The old file is never
// removed first, so at every moment the name holds either the whole old file or the whole new one, also
// across a crash or a loss of power.

#include <QString>
#include <vector>

#include "engines/errors.h"

namespace vexilo::engines {

// The file has taken its name, but the folder that holds the name could not be put on the disk: the name
// is there now and may not outlast a crash. `reason()` is the system's.
class NameNotOnDisk : public RunError {
  public:
    NameNotOnDisk(const QString& finalName, const QString& reason);
    const QString& reason() const { return m_reason; }

  private:
    QString m_reason;
};

// Syncs `written` to the disk, renames it to `finalName` (replacing a file of that name at once) and
// syncs the folder. A failure before the rename is a RunError (kFileAccess) naming `finalName` and the
// system's reason, `written` being left where it is, for the caller to remove; a failure after it is
// NameNotOnDisk.
void publishFile(const QString& written, const QString& finalName);

// The name a file of this process is written under before it takes `finalName`:
// "<finalName>.parcial-<pid>".
QString partialName(const QString& finalName);

// Removes the files "<finalName>.parcial-<pid>" (and the journal SQLite keeps beside a database written
// so) that processes no longer running left beside `finalName` (killed halfway); the files of running
// processes stay, and so do the partial files named in `recorded` (a committed publication's).
void removeDeadPartials(const QString& finalName, const std::vector<QString>& recorded = {});

}  // namespace vexilo::engines
