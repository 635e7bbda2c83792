#pragma once
// The rules for a SQLite file that an import writes, whatever its source: what must hold before
// anything is read, and how the finished file takes the destination's name. The new database is
// written beside the destination under a temporary name and only renamed at the end, so a failed
// import never leaves a half-written file nor loses the file it was to replace.

#include <QString>
#include <functional>

#include "engines/replacement.h"

namespace vexilo::importer {

// The temporary name the new database is written under.
QString temporaryPath(const QString& destination);

// `source` is the source file (empty for a source that is no file).
// Throws ImportError for a destination that is the source file itself (by any name or link, even
// with `force`; `sourceIs` says what the source is, for the message: "la base de datos Access"), a
// destination whose folder does not exist, and an existing destination without `force`.
void checkFileDestination(const QString& source, const QString& destination, bool force,
                          const QString& sourceIs);

// Runs `write` on the temporary file, then gives it the destination's name, replacing an existing file
// in one step (engines/publish.h), never removing it first. An existing database file is held as a job
// holds it from before `write` until the new file has its name (waiting for a job on it as `wait` says)
// and is kept beside it as a dated backup (engines/replacement.h), whose path is returned (empty when
// nothing was replaced). Whatever fails (`write` included) before the rename, the temporary file is
// removed and the destination stays as it was; a failure after it (the folder not put on the disk) is an
// ImportError that says the new file has the name and where the old one is kept. What imports killed
// halfway left under the destination's partial names, journals included, is removed first.
QString writeAndPublish(const QString& destination, const engines::JobWaitOptions& wait,
                        const std::function<void(const QString& temporary)>& write);

// True when both names lead to one file: through symbolic links or as hard links of one file.
bool sameFile(const QString& a, const QString& b);

}  // namespace vexilo::importer
