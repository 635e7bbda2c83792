#include "core/funcionesp.h"

namespace vexilo::core {

void completa_trozo(QString& texto) {
    qsizetype end = texto.size();
    while (end > 0 && texto.at(end - 1) == QLatin1Char(' ')) {
        --end;
    }
    texto.truncate(end);
    if (texto.size() < kChunkLength) {
        texto.append(QString(kChunkLength - texto.size(), QChar(0)));
    }
}

void parte_en_trozos(const QString& texto, std::vector<QString>& trozos, std::int32_t& numtrozos) {
    trozos.assign(1, QString());
    const qsizetype whole = texto.size() / kChunkLength;
    for (qsizetype i = 0; i < whole; ++i) {
        trozos.push_back(texto.mid(i * kChunkLength, kChunkLength));
    }
    QString last = texto.mid(whole * kChunkLength);
    completa_trozo(last);
    trozos.push_back(last);
    numtrozos = static_cast<std::int32_t>(trozos.size() - 1);
}

}  // namespace vexilo::core
