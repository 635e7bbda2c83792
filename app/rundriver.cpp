#include "app/rundriver.h"

#include "engines/databasename.h"

namespace vexilo::app {

QString createdMessage(const QString& outputName) {
    return QStringLiteral("Creado el fichero : ") + QChar(13) + outputName;
}

QString simulatedMessage(const QString& outputName) {
    return QStringLiteral("Simulación: no se ha cambiado nada. Se crearía el fichero : ") + QChar(13) +
           outputName;
}

QString waitingMessage(const QString& databaseName) {
    return QStringLiteral("Esperando a que termine otro proceso sobre la base de datos '%1'...")
        .arg(engines::shownDatabaseName(databaseName));
}

core::RunOutcome Command1_Click(Session& session, core::Display& display, Mode mode,
                                const RunOptions& options) {
    session.MantenerAsignaciones = mode == Mode::Si;
    if (session.NombreBin.isEmpty() || session.NombreBdD.isEmpty() || session.NombreBinSalida.isEmpty()) {
        return {};
    }
    Job job(JobInputs{session.NombreBdD, session.NombreBin, session.NombreBinSalida, mode, options}, display,
            nullptr, session.PorcentajeAnterior);
    const core::RunOutcome outcome = job.run();
    session.PorcentajeAnterior = job.progress().PorcentajeAnterior;
    return outcome;
}

}  // namespace vexilo::app
