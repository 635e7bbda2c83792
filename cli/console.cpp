#include "cli/console.h"

#include <cstdio>

namespace vexilo::cli {

QTextStream& output() {
    static QTextStream s(stdout);
    return s;
}

QTextStream& errors() {
    static QTextStream s(stderr);
    return s;
}

QString asLines(const QString& texto) {
    QString t = texto;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QChar('\r'), QChar('\n'));
    return t;
}

void writeError(const QString& texto) {
    errors() << asLines(texto) << Qt::endl;  // endl flushes
}

}  // namespace vexilo::cli
