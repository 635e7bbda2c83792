#pragma once
// The run driver behind "Procesar": one whole job (app/job.h) over the window's session. It shows
// nothing itself except through the display, and ends nothing: it returns an outcome, and the face that
// called it (the window or the command line) shows it (core/outcome.h).

#include <QString>

#include "app/job.h"
#include "app/session.h"
#include "core/display.h"
#include "core/outcome.h"

namespace vexilo::app {

// Sets MantenerAsignaciones from the mode on every call, before anything else. Without all three names
// nothing else happens. Otherwise runs one job on the session's names (Job::run), which starts from the
// session's last percentage shown and hands back its own.
core::RunOutcome Command1_Click(Session& session, core::Display& display, Mode mode,
                                const RunOptions& options = {});

// The notice of a job that waits for another process's job on the database `databaseName`.
QString waitingMessage(const QString& databaseName);

// "Creado el fichero : ", a carriage return, and the output path.
QString createdMessage(const QString& outputName);

// What Label5 says after a simulated job: nothing changed, and the file the job would have created.
QString simulatedMessage(const QString& outputName);

}  // namespace vexilo::app
