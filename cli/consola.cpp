#include "cli/consola.h"

#include <cstdio>

namespace vexilo::cli {

QTextStream& salida() {
    static QTextStream s(stdout);
    return s;
}

QTextStream& errores() {
    static QTextStream s(stderr);
    return s;
}

QString comoLineas(const QString& texto) {
    QString t = texto;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QChar('\r'), QChar('\n'));
    return t;
}

void escribeError(const QString& texto) {
    errores() << comoLineas(texto) << Qt::endl;  // endl flushes
}

}  // namespace vexilo::cli
