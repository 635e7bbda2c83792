#pragma once
// The run driver behind "Procesar": one whole job, from opening the files to the completion message,
// over the run state. It shows nothing itself except through f.display, and ends nothing: it returns an
// outcome, and the face that called it (the window or the command line) decides what to show and how
// the program ends.
//
// For the command line: fill f.NombreBdD, f.NombreBin and f.NombreBinSalida (nombreDeSalida() in
// app/fileselection.h derives the last), point f.display at a Display of your own, install platform
// services if the default headless ones do not serve, and call Command1_Click with the mode.

#include <QString>

#include "app/runstate.h"
#include "platform/errors.h"

namespace vexilo::app {

// The mode frame: "Sí" and "No" run the assignment pass (keeping or not the graphic assignments),
// "Modificar Texto en Bin" the rewrite pass.
enum class Modo { Si, No, ModificarTexto };

struct RunOutcome {
    enum class Kind {
        Ignored,   // a file name is missing: nothing was opened, nothing shown
        Finished,  // the output is complete and "Proceso Finalizado." is shown
        Stopped,   // a condition the job tests for: show message (if not empty) with icon, then end
        Failed,    // any other failure: show number and description, then end
    };
    Kind kind = Kind::Ignored;
    QString message;  // Stopped
    platform::Icon icon = platform::Icon::None;
    int number = 0;  // Failed
    QString description;
};

// Error number given to a failure that carries none of its own.
constexpr int kErrorInterno = 51;
// Exit codes of a program ended by a job: after a stop, after any other failure.
constexpr int kSalidaParada = 1;
constexpr int kSalidaError = 2;

// Runs one job. MantenerAsignaciones is set from the mode on every call, before anything else. Without
// all three names nothing else happens. Otherwise: opens the input and the output (truncated), notes
// HoraInicio, shows the busy pointer, opens Bd in the default workspace, verifies the schema, runs the
// pass of the mode, closes both files, writes the completion message to Label5, shows Label1, restores
// the default pointer, and when the pass passed over elements, shows one message that counts them.
// On a stop or a failure the open recordset, Bd (whose writes stay) and both files are closed and the
// outcome says what happened; the pointer is left as the failing step left it.
RunOutcome Command1_Click(RunState& f, Modo modo);

// "Creado el fichero : ", a carriage return, and the output path.
QString mensajeCreado(const QString& nombreBinSalida);
// How a failure is shown: "Error", its number, a carriage return, its description.
QString textoDeError(int number, const QString& description);

}  // namespace vexilo::app
