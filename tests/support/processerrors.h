#pragma once
// Reading what a program under test prints on its standard error while it runs.

#include <QProcess>
#include <QString>

namespace vexilo::testing {

// Reads `p`'s standard error until it holds `texto` (or the process ends); everything read. The wait is
// on the standard error itself: waiting on the process's current channel (its standard output) would
// return only after a whole second when the program prints nothing there.
inline QString readErrorsUntil(QProcess& p, const QString& texto) {
    QString read;
    p.waitForStarted();
    p.setReadChannel(QProcess::StandardError);
    while (!read.contains(texto) && p.state() == QProcess::Running) {
        p.waitForReadyRead(1000);
        read += QString::fromUtf8(p.readAllStandardError());
    }
    return read;
}

}  // namespace vexilo::testing
