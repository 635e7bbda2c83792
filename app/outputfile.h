#pragma once
// The output drawing's name, from the job's first step to the moment it takes it: what must hold of the
// name before the database commits (the partial files that killed jobs leave beside it are
// engines/publish.h's).

#include <QString>

namespace vexilo::app {

// Throws a RunError (kFileAccess) naming the output when something that is not a file holds its name (a
// folder, a pipe, a device): the written drawing could not take it. Checked before the job starts and
// again right before the database commits, so that the database never keeps a job whose drawing
// cannot be published.
void checkOutputName(const QString& outputName);

}  // namespace vexilo::app
