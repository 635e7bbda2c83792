#include "engines/engineversions.h"

#include <libpq-fe.h>
#include <sqlite3.h>

namespace vexilo::engines {

QString sqliteVersion() {
    return QString::fromLatin1(sqlite3_libversion());
}

QString libpqVersion() {
    // PQlibVersion gives major * 10000 + minor from version 10 on.
    const int v = PQlibVersion();
    return QStringLiteral("%1.%2").arg(v / 10000).arg(v % 10000);
}

}  // namespace vexilo::engines
