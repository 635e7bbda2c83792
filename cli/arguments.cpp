#include "cli/arguments.h"

namespace vexilo::cli {

QString Arguments::option(const QString& name, const QString& byDefault) const {
    auto it = options.find(name);
    return it == options.end() || it->isEmpty() ? byDefault : it->last();
}

qint64 Arguments::number(const QString& name, qint64 byDefault, qint64 minimum, qint64 maximum) const {
    if (!options.contains(name)) {
        return byDefault;
    }
    bool ok = false;
    const qint64 n = option(name).toLongLong(&ok);
    if (!ok || n < minimum || n > maximum) {
        throw UsageError(
            QStringLiteral("%1 espera un número entero entre %2 y %3").arg(name).arg(minimum).arg(maximum));
    }
    return n;
}

Arguments parse(const QStringList& args, const QSet<QString>& withValue, const QSet<QString>& flags) {
    Arguments a;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            a.help = true;
            continue;
        }
        if (!arg.startsWith(QChar('-')) || arg == QLatin1String("-")) {
            a.positionals << arg;
            continue;
        }
        const qsizetype equal = arg.indexOf(QChar('='));
        const QString name = equal < 0 ? arg : arg.left(equal);
        if (flags.contains(name) && equal < 0) {
            a.flags.insert(name);
        } else if (withValue.contains(name)) {
            if (equal >= 0) {
                a.options[name] << arg.mid(equal + 1);
            } else if (i + 1 < args.size()) {
                a.options[name] << args[++i];
            } else {
                throw UsageError(QStringLiteral("falta el valor de %1").arg(name));
            }
        } else {
            throw UsageError(QStringLiteral("opción desconocida: %1").arg(arg));
        }
    }
    return a;
}

}  // namespace vexilo::cli
