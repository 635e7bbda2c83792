#include "core/normalisation.h"

namespace vexilo::core {

namespace {
constexpr QChar kSpace = QLatin1Char(' ');
constexpr QChar kNul = QChar(0);
constexpr qsizetype kCodigoWidth = 7;
}  // namespace

namespace {
template <typename View>
View trimmed(View texto) {
    qsizetype first = 0;
    qsizetype last = texto.size();
    while (first < last && texto.at(first) == kSpace) {
        ++first;
    }
    while (last > first && texto.at(last - 1) == kSpace) {
        --last;
    }
    return texto.sliced(first, last - first);
}
}  // namespace

QStringView trimmedSpaces(QStringView texto) {
    return trimmed(texto);
}

QLatin1String trimmedSpaces(QLatin1String texto) {
    return trimmed(texto);
}

QString trimSpaces(const QString& texto) {
    const QStringView trimmed = trimmedSpaces(texto);
    return trimmed.size() == texto.size() ? texto : trimmed.toString();  // an untrimmed text is shared
}

void limpia_texto(QString& texto) {
    const qsizetype nul = texto.indexOf(kNul);
    if (nul >= 0) {
        texto.truncate(nul);  // in place: the text read from a drawing is the caller's own
    }
    const QStringView kept = trimmedSpaces(texto);
    if (kept.size() != texto.size()) {
        const qsizetype first = kept.data() - texto.constData();
        texto.truncate(first + kept.size());
        texto.remove(0, first);
    }
}

void quitablancos(QString& texto) {
    // Most texts have no space to drop: they are left as they are, without a copy.
    const qsizetype n = texto.size();
    const QChar* in = texto.constData();
    bool dropsSome = n == 0 || in[0] == kSpace || in[n - 1] == kSpace;
    for (qsizetype i = 1; i < n && !dropsSome; ++i) {
        dropsSome = in[i] == kSpace && in[i - 1] == kSpace;
    }
    if (!dropsSome) {
        return;
    }
    QString result;
    result.reserve(n);
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
    if (texto.size() < kCodigoWidth) {
        texto.resize(kCodigoWidth, kNul);  // one growth, not one per character
    }
}

}  // namespace vexilo::core
