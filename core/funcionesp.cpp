#include "core/funcionesp.h"

namespace vexilo::core {

void completa_trozo(QString& texto) {
    qsizetype end = texto.size();
    while (end > 0 && texto.at(end - 1) == QLatin1Char(' ')) {
        --end;
    }
    texto.truncate(end);
    if (texto.size() < kLongitudTrozo) {
        texto.append(QString(kLongitudTrozo - texto.size(), QChar(0)));
    }
}

void parte_en_trozos(const QString& texto, std::vector<QString>& trozos, std::int32_t& numtrozos) {
    trozos.assign(1, QString());
    const qsizetype completos = texto.size() / kLongitudTrozo;
    for (qsizetype i = 0; i < completos; ++i) {
        trozos.push_back(texto.mid(i * kLongitudTrozo, kLongitudTrozo));
    }
    QString ultimo = texto.mid(completos * kLongitudTrozo);
    completa_trozo(ultimo);
    trozos.push_back(ultimo);
    numtrozos = static_cast<std::int32_t>(trozos.size() - 1);
}

}  // namespace vexilo::core
