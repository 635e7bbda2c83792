#include "import/accessimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>

#include "import/dbimport.h"
#include "import/enginedestination.h"
#include "import/filedestination.h"
#include "import/readerprocess.h"
#include "import/streamreader.h"

namespace vexilo::importer {
namespace {

constexpr int kSignatureOffset = 4;

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

void checkAccessSource(const QString& source) {
    if (!QFileInfo(source).isFile()) {
        throw ImportError(QStringLiteral("No existe el fichero: %1").arg(native(source)));
    }
    if (!isAccessDatabase(source)) {
        throw ImportError(
            QStringLiteral("El fichero no es una base de datos Access: %1").arg(native(source)));
    }
}

}  // namespace

bool isAccessDatabase(const QString& path) {
    // Only a regular file is read: opening a pipe or a device to read its first bytes could wait for ever.
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray header = f.read(kSignatureOffset + 15).mid(kSignatureOffset);
    return header == "Standard Jet DB" || header == "Standard ACE DB";
}

QDateTime accessDate(double valor) {
    const double days = std::trunc(valor);
    const double fraction = std::fabs(valor - days);
    qint64 ms = std::llround(fraction * 86400000.0);
    QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
    if (ms >= 86400000) {  // a fraction that rounds to a whole day is midnight of the next one
        date = date.addDays(1);
        ms -= 86400000;
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

Result copyAccess(const QString& source, Destination& destination) {
    StreamReader reader(destination);
    Result r;
    r.warnings = readWithReader(source, reader);
    r.tables = reader.tables();
    checkRowCounts(r.tables, destination);
    return r;
}

Result importAccess(const QString& source, const QString& destination, bool force,
                    const engines::JobWaitOptions& wait) {
    checkAccessSource(source);
    checkFileDestination(source, destination, force, QStringLiteral("la base de datos Access"));
    Result r;
    const QString backup = writeAndPublish(destination, wait, [&](const QString& temporary) {
        r = copyIntoNewDatabase(temporary, QDir::toNativeSeparators(destination),
                                [&](Destination& d) { return copyAccess(source, d); });
    });
    r.backup = backup;
    return r;
}

QString importedPath(const QString& accessPath) {
    const QFileInfo info(accessPath);
    return QDir(info.path()).filePath(info.completeBaseName() + QStringLiteral(".sqlite"));
}

}  // namespace vexilo::importer
