#pragma once
// The run driver behind "Procesar": one whole job, from opening the files to the completion message,
// over the run state. It shows nothing itself except through f.display, and ends nothing: it returns an
// outcome, and the face that called it (the window or the command line) shows it (core/outcome.h).
//
// For the command line: fill f.NombreBdD, f.NombreBin and f.NombreBinSalida (outputNameOf() in
// app/fileselection.h derives the last), point f.display at a Display of your own, install platform
// services if the default headless ones do not serve, and call Command1_Click with the mode.

#include <QString>
#include <chrono>

#include "core/outcome.h"
#include "core/runstate.h"
#include "platform/jobwaitlimit.h"

namespace vexilo::app {

// The mode frame: "Sí" and "No" run the assignment pass (keeping or not the graphic assignments),
// "Modificar Text en Bin" the rewrite pass.
enum class Mode { Si, No, RewriteText };

// What the face that starts a job may choose beyond the window's own controls.
struct RunOptions {
    // How long a job waits for another process's job on the same database before it gives up.
    std::chrono::milliseconds wait = platform::kJobWaitLimit;
    // A dry run: the whole job, checks and pass included, inside its transaction, which is then rolled
    // back (also after a stop); the output is written only to be thrown away, an old file of its name
    // is left as it was, and Label5 says that nothing was created.
    bool simulate = false;
};

// Runs one job. MantenerAsignaciones is set from the mode on every call, before anything else. Without
// all three names nothing else happens. Otherwise: opens the input and the output (truncated), notes
// HoraInicio, shows the busy pointer, opens Bd in the default workspace and holds it for the job before
// its first read (while another process's job holds it, the display's notice says that the job waits,
// for at most options.espera; past it the job fails with nothing written), with one transaction for the
// whole job, verifies the schema, runs the pass of the mode, closes both files, writes the completion
// message to Label5, shows Label1, restores the default pointer, and when the pass passed over
// elements, shows one message that counts them. The job's caches are made for it and dropped after it.
// The output is written under a name of its own and takes its name at the very end, after the pass has
// put it on the disk and committed the database. An output that is the input or the database itself is
// refused before anything is opened. On a stop, what was done stays: the output written so far goes to
// the disk, the database commits, the output takes its name (a failure there turns the outcome into
// that failure). On any failure the database is rolled back to what it was before the job and no
// output takes the output's name. The pointer is left as the failing step left it.
core::RunOutcome Command1_Click(core::RunState& f, Mode mode, const RunOptions& options = {});

// The notice of a job that waits for another process's job on the database `databaseName`.
QString waitingMessage(const QString& databaseName);

// "Creado el fichero : ", a carriage return, and the output path.
QString createdMessage(const QString& outputName);

// What Label5 says after a simulated job: nothing changed, and the file the job would have created.
QString simulatedMessage(const QString& outputName);

}  // namespace vexilo::app
