// vexilo-fuzz-semillas DIR NWIND: writes the seeds of each fuzz target into DIR/<target>/.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "fuzz/semillas.h"

// libmdb does not free all it allocates before the program ends; the leak report of a sanitizer build
// would turn every run into a failure, so leaks are not reported here.
#if defined(__SANITIZE_ADDRESS__)
#define VEXILO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXILO_ASAN 1
#endif
#endif
#ifdef VEXILO_ASAN
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}
#endif

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
