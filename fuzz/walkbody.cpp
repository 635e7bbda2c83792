#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

#include "core/normalisation.h"
#include "drawing/binfile.h"
#include "drawing/elementtext.h"
#include "drawing/walk.h"
#include "fuzz/bodies.h"

namespace vexilo::fuzz {
namespace {

using drawing::Element;

constexpr std::size_t kBuffer = 4096;  // small, so that elements cross buffer refills
constexpr qsizetype kChunk = 12;
constexpr std::size_t kMaxChunks = 32766;  // numRegistros is 16-bit and counts the first body record

void fail(const char* what) {
    throw Finding(what);
}

// The text of a T element as the passes read it: joined, cut at its first NUL, trimmed, collapsed.
QString cleanText(const Element& e) {
    QString texto = drawing::chunksText(e);
    core::limpia_texto(texto);
    QString again = texto;
    core::limpia_texto(again);
    if (again != texto) {
        fail("limpia_texto no es idempotente");
    }
    core::quitablancos(texto);
    if (texto.contains(QStringLiteral("  ")) || texto.startsWith(QChar(' ')) || texto.endsWith(QChar(' '))) {
        fail("quitablancos deja espacios de más");
    }
    return texto;
}

// Writes `texto` back as the rewrite pass does: floor(L/12)+1 chunks, the last one NUL-padded.
void writeText(Element& e, const QString& texto) {
    const std::size_t chunkCount = static_cast<std::size_t>(texto.size() / kChunk) + 1;
    if (chunkCount > kMaxChunks) {
        return;  // the element keeps its chunks
    }
    e.chunks.clear();
    qsizetype i = 0;
    for (; i + kChunk <= texto.size(); i += kChunk) {
        e.chunks.push_back(drawing::textChunk(texto.mid(i, kChunk)));
    }
    QString last = texto.mid(i);
    last.append(QString(kChunk - last.size(), QChar(0)));
    e.chunks.push_back(drawing::textChunk(last));
    e.header.numRegistros = static_cast<std::int16_t>(e.body.size() + e.chunks.size());
}

void treatText(Element& e) {
    const QString texto = cleanText(e);
    QString codigo = drawing::codeText(e.header);
    core::limpia_texto(codigo);
    core::completa_codigo(codigo);
    drawing::storeCode(e.header, codigo);
    writeText(e, texto);
    QString read = drawing::chunksText(e);
    core::limpia_texto(read);
    if (e.chunks.size() <= kMaxChunks && read != texto) {
        fail("un texto no vuelve igual de sus trozos");
    }
}

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString& path, const std::uint8_t* data, std::size_t n) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(n)) != static_cast<qint64>(n)) {
        throw std::runtime_error("no se puede escribir la entrada del fuzzer");
    }
}

// Walks `input` into `output`; true when a CorruptFile stop ended the walk.
bool walk(const QString& input, const QString& output, const drawing::TextHandler& asText) {
    drawing::BinReader in(input, kBuffer);
    drawing::BinWriter out(output, kBuffer);
    bool corrupt = false;
    try {
        drawing::walk(in, out, asText, {});
    } catch (const drawing::CorruptFile&) {
        corrupt = true;
    }
    out.close();
    return corrupt;
}

}  // namespace

void walk(const std::uint8_t* data, std::size_t n) {
    static QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("entrada.bin"));
    const QString output = dir.filePath(QStringLiteral("entrada_s.bin"));
    const QString pass = dir.filePath(QStringLiteral("repaso.bin"));
    write(input, data, n);
    walk(input, output, treatText);
    // What a walk writes is a clean drawing: it walks to its end and copies to itself unchanged.
    if (walk(output, pass, {})) {
        fail("la salida de un recorrido está corrupta");
    }
    if (read(output) != read(pass)) {
        fail("la salida de un recorrido no se copia igual");
    }
}

}  // namespace vexilo::fuzz
