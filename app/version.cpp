#include "app/version.h"

#include <QtGlobal>

#include "engines/engineversions.h"

namespace vexilo::app {

QString versionNumber() {
    return QStringLiteral(VEXILO_VERSION);
}

QString versionText(const QString& program) {
    return QStringLiteral("%1 %2\nQt %3, SQLite %4, libpq %5")
        .arg(program, versionNumber(), QString::fromLatin1(qVersion()), engines::sqliteVersion(),
             engines::libpqVersion());
}

}  // namespace vexilo::app
