#pragma once
// What a window keeps from one job to the next: the files chosen, the folders they came from (saved when
// the window closes), the mode of the last press, and the last percentage the progress display showed.
// A job reads the names and hands back the percentage; nothing else of a job outlives it.

#include <QString>

namespace vexilo::app {

struct Session {
    QString NombreBdD;
    QString NombreBin;
    QString NombreBinSalida;
    QString DirectorioBdD;
    QString DirectorioBin;
    bool MantenerAsignaciones = false;  // "Sí" was selected when "Procesar" was last pressed
    double PorcentajeAnterior = 0.0;
};

}  // namespace vexilo::app
