// vexilo-fuzz-seeds DIR NWIND: writes the seeds of each fuzz target into DIR/<target>/.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "fuzz/seeds.h"

#include "tools/accessreader/libmdbleaks.h"

namespace {

bool write(const QString& dir, const std::vector<vexilo::fuzz::Seed>& seeds) {
    if (!QDir().mkpath(dir)) {
        return false;
    }
    for (const auto& s : seeds) {
        QFile f(QDir(dir).filePath(QString::fromStdString(s.name)));
        if (!f.open(QIODevice::WriteOnly) || f.write(s.data.data(), static_cast<qint64>(s.data.size())) < 0) {
            return false;
        }
    }
    std::printf("%zu semillas en %s\n", seeds.size(), qPrintable(dir));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("Uso: vexilo-fuzz-seeds DIR NWIND.mdb\n", stderr);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir temporary;
    const bool well = write(QDir(dir).filePath(QStringLiteral("walk")), vexilo::fuzz::walkSeeds()) &&
                      write(QDir(dir).filePath(QStringLiteral("import")),
                            vexilo::fuzz::importSeeds(QString::fromLocal8Bit(argv[2]), temporary.path()));
    return well ? 0 : 1;
}
