// vexilo-fuzz-semillas DIR NWIND: writes the seeds of each fuzz target into DIR/<target>/.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "fuzz/semillas.h"

#include "tools/accessreader/noleakreport.h"

namespace {

bool escribe(const QString& dir, const std::vector<vexilo::fuzz::Semilla>& semillas) {
    if (!QDir().mkpath(dir)) {
        return false;
    }
    for (const auto& s : semillas) {
        QFile f(QDir(dir).filePath(QString::fromStdString(s.nombre)));
        if (!f.open(QIODevice::WriteOnly) ||
            f.write(s.datos.data(), static_cast<qint64>(s.datos.size())) < 0) {
            return false;
        }
    }
    std::printf("%zu semillas en %s\n", semillas.size(), qPrintable(dir));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("Uso: vexilo-fuzz-semillas DIR NWIND.mdb\n", stderr);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir temporal;
    const bool bien =
        escribe(QDir(dir).filePath(QStringLiteral("recorrido")), vexilo::fuzz::semillasRecorrido()) &&
        escribe(QDir(dir).filePath(QStringLiteral("importacion")),
                vexilo::fuzz::semillasImportacion(QString::fromLocal8Bit(argv[2]), temporal.path()));
    return bien ? 0 : 1;
}
