#include "drawing/normalisation.h"

namespace vexilo::drawing {

namespace {
constexpr QChar kSpace = QLatin1Char(' ');
constexpr QChar kNul = QChar(0);
constexpr qsizetype kCodigoWidth = 7;
}  // namespace

QString trimSpaces(const QString& texto) {
    qsizetype first = 0;
    qsizetype last = texto.size();
    while (first < last && texto.at(first) == kSpace) {
        ++first;
    }
    while (last > first && texto.at(last - 1) == kSpace) {
        --last;
    }
    return texto.mid(first, last - first);
}

void limpia_texto(QString& texto) {
    const qsizetype nul = texto.indexOf(kNul);
    texto = trimSpaces(nul < 0 ? texto : texto.left(nul));
}

void quitablancos(QString& texto) {
    QString result;
    result.reserve(texto.size());
    QChar previous = kNul;
    for (const QChar c : texto) {
        if (c == kSpace && previous == kSpace) {
            continue;
        }
        result.append(c);
        previous = c;
    }
    texto = trimSpaces(result);
}

void completa_codigo(QString& texto) {
    texto = trimSpaces(texto);
    while (texto.size() < kCodigoWidth) {
        texto.append(kNul);
    }
}

}  // namespace vexilo::drawing
