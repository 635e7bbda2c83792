#include "core/version.h"

#include <QtGlobal>

#include "platform/engineversions.h"

namespace vexilo::core {

QString versionNumber() {
    return QStringLiteral(VEXILO_VERSION);
}

QString versionText(const QString& program) {
    return QStringLiteral("%1 %2\nQt %3, SQLite %4, libpq %5")
        .arg(program, versionNumber(), QString::fromLatin1(qVersion()), platform::sqliteVersion(),
             platform::libpqVersion());
}

}  // namespace vexilo::core
