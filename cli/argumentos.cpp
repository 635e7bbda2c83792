#include "cli/argumentos.h"

namespace vexilo::cli {

QString Argumentos::opcion(const QString& nombre, const QString& porDefecto) const {
    auto it = opciones.find(nombre);
    return it == opciones.end() || it->isEmpty() ? porDefecto : it->last();
}

qint64 Argumentos::numero(const QString& nombre, qint64 porDefecto, qint64 minimo, qint64 maximo) const {
    if (!opciones.contains(nombre)) {
        return porDefecto;
    }
    bool ok = false;
    const qint64 n = opcion(nombre).toLongLong(&ok);
    if (!ok || n < minimo || n > maximo) {
        throw ErrorUso(
            QStringLiteral("%1 espera un número entero entre %2 y %3").arg(nombre).arg(minimo).arg(maximo));
    }
    return n;
}

Argumentos analiza(const QStringList& args, const QSet<QString>& conValor, const QSet<QString>& banderas) {
    Argumentos a;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            a.ayuda = true;
            continue;
        }
        if (!arg.startsWith(QChar('-')) || arg == QLatin1String("-")) {
            a.posicionales << arg;
            continue;
        }
        const qsizetype igual = arg.indexOf(QChar('='));
        const QString nombre = igual < 0 ? arg : arg.left(igual);
        if (banderas.contains(nombre) && igual < 0) {
            a.banderas.insert(nombre);
        } else if (conValor.contains(nombre)) {
            if (igual >= 0) {
                a.opciones[nombre] << arg.mid(igual + 1);
            } else if (i + 1 < args.size()) {
                a.opciones[nombre] << args[++i];
            } else {
                throw ErrorUso(QStringLiteral("falta el valor de %1").arg(nombre));
            }
        } else {
            throw ErrorUso(QStringLiteral("opción desconocida: %1").arg(arg));
        }
    }
    return a;
}

}  // namespace vexilo::cli
