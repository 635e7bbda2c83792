#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

#include "core/normalisation.h"
#include "drawing/binfile.h"
#include "drawing/elementtext.h"
#include "drawing/walk.h"
#include "fuzz/cuerpos.h"

namespace vexilo::fuzz {
namespace {

using drawing::Elemento;

constexpr std::size_t kBuffer = 4096;  // small, so that elements cross buffer refills
constexpr qsizetype kTrozo = 12;
constexpr std::size_t kMaxTrozos = 32766;  // numRegistros is 16-bit and counts the first body record

void falla(const char* que) {
    throw Hallazgo(que);
}

// The text of a T element as the passes read it: joined, cut at its first NUL, trimmed, collapsed.
QString textoLimpio(const Elemento& e) {
    QString texto = drawing::chunksText(e);
    core::limpia_texto(texto);
    QString otraVez = texto;
    core::limpia_texto(otraVez);
    if (otraVez != texto) {
        falla("limpia_texto no es idempotente");
    }
    core::quitablancos(texto);
    if (texto.contains(QStringLiteral("  ")) || texto.startsWith(QChar(' ')) || texto.endsWith(QChar(' '))) {
        falla("quitablancos deja espacios de más");
    }
    return texto;
}

// Writes `texto` back as the rewrite pass does: floor(L/12)+1 chunks, the last one NUL-padded.
void escribeTexto(Elemento& e, const QString& texto) {
    const std::size_t trozos = static_cast<std::size_t>(texto.size() / kTrozo) + 1;
    if (trozos > kMaxTrozos) {
        return;  // the element keeps its chunks
    }
    e.trozos.clear();
    qsizetype i = 0;
    for (; i + kTrozo <= texto.size(); i += kTrozo) {
        e.trozos.push_back(drawing::textChunk(texto.mid(i, kTrozo)));
    }
    QString ultimo = texto.mid(i);
    ultimo.append(QString(kTrozo - ultimo.size(), QChar(0)));
    e.trozos.push_back(drawing::textChunk(ultimo));
    e.cabecera.numRegistros = static_cast<std::int16_t>(e.cuerpo.size() + e.trozos.size());
}

void trataTexto(Elemento& e) {
    const QString texto = textoLimpio(e);
    QString codigo = drawing::codeText(e.cabecera);
    core::limpia_texto(codigo);
    core::completa_codigo(codigo);
    drawing::storeCode(e.cabecera, codigo);
    escribeTexto(e, texto);
    QString leido = drawing::chunksText(e);
    core::limpia_texto(leido);
    if (e.trozos.size() <= kMaxTrozos && leido != texto) {
        falla("un texto no vuelve igual de sus trozos");
    }
}

QByteArray lee(const QString& ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void escribe(const QString& ruta, const std::uint8_t* datos, std::size_t n) {
    QFile f(ruta);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(reinterpret_cast<const char*>(datos), static_cast<qint64>(n)) != static_cast<qint64>(n)) {
        throw std::runtime_error("no se puede escribir la entrada del fuzzer");
    }
}

// Walks `entrada` into `salida`; true when a CorruptFile stop ended the walk.
bool recorre(const QString& entrada, const QString& salida, const drawing::TextHandler& alTexto) {
    drawing::BinReader in(entrada, kBuffer);
    drawing::BinWriter out(salida, kBuffer);
    bool corrupto = false;
    try {
        drawing::recorre(in, out, alTexto, {});
    } catch (const drawing::CorruptFile&) {
        corrupto = true;
    }
    out.close();
    return corrupto;
}

}  // namespace

void recorrido(const std::uint8_t* datos, std::size_t n) {
    static QTemporaryDir dir;
    const QString entrada = dir.filePath(QStringLiteral("entrada.bin"));
    const QString salida = dir.filePath(QStringLiteral("entrada_s.bin"));
    const QString repaso = dir.filePath(QStringLiteral("repaso.bin"));
    escribe(entrada, datos, n);
    recorre(entrada, salida, trataTexto);
    // What a walk writes is a clean drawing: it walks to its end and copies to itself unchanged.
    if (recorre(salida, repaso, {})) {
        falla("la salida de un recorrido está corrupta");
    }
    if (lee(salida) != lee(repaso)) {
        falla("la salida de un recorrido no se copia igual");
    }
}

}  // namespace vexilo::fuzz
