#include "core/runreport.h"

#include <QStringList>

namespace vexilo::core {

QString RunReport::text() const {
    QStringList lines;
    auto add = [&lines](std::int64_t n, const char* reason) {
        if (n > 0) {
            lines << QStringLiteral("%1 : %2").arg(QString::fromUtf8(reason)).arg(n);
        }
    };
    add(nonNumericCode, "Textos con código no numérico");
    add(fullLinks, "Textos con 255 enlaces, sin enlace nuevo");
    add(entitynumOutOfRange, "Textos con entitynum fuera de rango, sin enlace nuevo");
    add(missingRecord, "Textos enlazados a un registro inexistente");
    add(recordWithoutText, "Textos enlazados a un registro sin texto");
    if (lines.isEmpty()) {
        return {};
    }
    return QStringLiteral("Elementos no tratados:\r") + lines.join(QChar(13));
}

}  // namespace vexilo::core
