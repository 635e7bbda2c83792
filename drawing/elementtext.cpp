#include "drawing/elementtext.h"

#include <algorithm>

#include "drawing/codepage.h"

namespace vexilo::drawing {

namespace {

// Encodes the text straight into a fixed-width field, cut or padded with spaces.
template <typename T, std::size_t N>
void fill(std::array<T, N>& field, const QString& text) {
    static_assert(sizeof(T) == 1);
    auto* bytes = reinterpret_cast<std::uint8_t*>(field.data());
    const std::size_t n = codepage::encodeTo(text, bytes, N);
    std::fill(bytes + n, bytes + N, static_cast<std::uint8_t>(' '));
}

}  // namespace

QString chunksText(const Element& e) {
    QString texto;
    chunksText(e, texto);
    return texto;
}

void chunksText(const Element& e, QString& texto) {
    std::size_t length = 0;
    for (const Record12& chunk : e.chunks) {
        length += chunk.size();
    }
    // Every chunk decoded straight into the text: one buffer for the whole text.
    texto.resize(static_cast<qsizetype>(length));
    QChar* out = texto.data();
    for (const Record12& chunk : e.chunks) {
        codepage::decodeTo(chunk.data(), chunk.size(), out);
        out += chunk.size();
    }
}

QString codeText(const CabeceraElemento& h) {
    return codepage::decode(reinterpret_cast<const std::uint8_t*>(h.codigo.data()), h.codigo.size());
}

void storeCode(CabeceraElemento& h, const QString& codigo) {
    fill(h.codigo, codigo);
}

Record12 textChunk(const QString& texto) {
    Record12 chunk{};
    fill(chunk, texto);
    return chunk;
}

}  // namespace vexilo::drawing
