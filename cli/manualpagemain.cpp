// vexilo-cli-manpage TEMPLATE PAGE: writes the manual page of vexilo-cli from its template, with the
// synopsis made from the command table and the default wait filled in, so that the page can never name
// other options than the program takes. Run by the build (packaging/CMakeLists.txt); not installed.
#include <QFile>
#include <QStringList>
#include <chrono>
#include <cstdio>

#include "cli/usage.h"
#include "engines/jobwaitlimit.h"

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "vexilo-cli-manpage: %s\n", qUtf8Printable(message));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        return fail(QStringLiteral("use: vexilo-cli-manpage TEMPLATE PAGE"));
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        return fail(QStringLiteral("cannot read %1: %2").arg(in.fileName(), in.errorString()));
    }
    QString page = QString::fromUtf8(in.readAll());
    const QStringList fields = {QStringLiteral("@SINOPSIS@\n"), QStringLiteral("@ESPERA@")};
    const QStringList values = {
        vexilo::cli::manualSynopsis(),
        QString::number(std::chrono::seconds(vexilo::engines::kJobWaitLimit).count())};
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (!page.contains(fields[i])) {
            return fail(QStringLiteral("%1 has no %2").arg(in.fileName(), fields[i].trimmed()));
        }
        page.replace(fields[i], values[i]);
    }
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(page.toUtf8()) < 0 ||
        !out.flush()) {
        return fail(QStringLiteral("cannot write %1: %2").arg(out.fileName(), out.errorString()));
    }
    return 0;
}
