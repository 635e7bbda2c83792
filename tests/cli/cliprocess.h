#pragma once
// Runs the real vexilo-cli binary, as a user or a script would, and keeps what it printed.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace vexilo::testing {

struct CliOutput {
    int state = -1;
    QString output;  // standard output
    QString errors;  // standard error
};

inline CliOutput runCli(const QStringList& args, const QString& workingFolder = QString()) {
    QProcess p;
    if (!workingFolder.isEmpty()) {
        p.setWorkingDirectory(workingFolder);
    }
    p.start(QStringLiteral(VEXILO_CLI), args);
    CliOutput s;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        s.errors = QStringLiteral("vexilo-cli did not finish: ") + p.errorString();
        return s;
    }
    s.state = p.exitCode();
    s.output = QString::fromUtf8(p.readAllStandardOutput());
    s.errors = QString::fromUtf8(p.readAllStandardError());
    return s;
}

}  // namespace vexilo::testing
