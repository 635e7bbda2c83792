#pragma once
// What `--version` prints on every program of the system: the program's name and version, then the
// versions of Qt and of the database libraries it runs on.

#include <QString>

namespace vexilo::app {

// The system's version, as the build gives it ("0.1").
QString versionNumber();

// "<program> <version>" and, on the next line, "Qt a.b.c, SQLite x.y.z, libpq m.n".
QString versionText(const QString& program);

}  // namespace vexilo::app
