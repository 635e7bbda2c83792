#pragma once
// Runs the real vexilo-cli binary, as a user or a script would, and keeps what it printed.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace vexilo::testing {

struct SalidaCli {
    int estado = -1;
    QString salida;   // standard output
    QString errores;  // standard error
};

inline SalidaCli ejecutaCli(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(VEXILO_CLI), args);
    SalidaCli s;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        s.errores = QStringLiteral("vexilo-cli did not finish: ") + p.errorString();
        return s;
    }
    s.estado = p.exitCode();
    s.salida = QString::fromUtf8(p.readAllStandardOutput());
    s.errores = QString::fromUtf8(p.readAllStandardError());
    return s;
}

}  // namespace vexilo::testing
