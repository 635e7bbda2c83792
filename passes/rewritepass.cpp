#include "passes/rewritepass.h"

#include <limits>
#include <vector>

#include "catalog/catalogcache.h"
#include "catalog/textreader.h"
#include "core/funcionesp.h"
#include "core/normalisation.h"
#include "drawing/elementtext.h"
#include "passes/passend.h"

namespace vexilo::passes {

namespace {

// Links of these entity numbers carry no attribute record and are passed over.
bool skippedLink(std::int16_t entitynum) {
    return entitynum == 1 || entitynum == 32765 || entitynum == 32766 || entitynum == 32767;
}

// Upper-case comparison, character by character, so that no letter's upper form changes the length.
bool equalIgnoringCase(const QString& a, const QString& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i).toUpper() != b.at(i).toUpper()) {
            return false;
        }
    }
    return true;
}

QString invalidAtrMessage(const drawing::EnlaceAtributo& enlace) {
    return QStringLiteral("Hay un texto con ATR no válido :") + QChar(13) +
           QString::number(enlace.entitynum) + QStringLiteral("  ") + QString::number(enlace.mslink);
}

// Replaces the element's chunks by TextoEnBdD cut into 12-character pieces.
void putText(core::RunState& f, drawing::Elemento& e, const QString& tabla, std::int32_t registro) {
    f.numtrozos = 1;
    std::vector<QString> trozos;
    if (f.TextoEnBdD.size() <= 11) {
        core::completa_trozo(f.TextoEnBdD);
        trozos = {QString(), f.TextoEnBdD};
    } else {
        core::parte_en_trozos(f.TextoEnBdD, trozos, f.numtrozos);
    }
    // numRegistros is 16 bits wide: a text of more than 393,000 characters cannot be stored in an element.
    if (f.numtrozos >= std::numeric_limits<std::int16_t>::max()) {
        throw platform::Stop(QStringLiteral("El texto del registro %1 de la tabla %2 es demasiado largo para "
                                            "el dibujo.")
                                 .arg(registro)
                                 .arg(tabla));
    }
    e.trozos.clear();
    e.trozos.reserve(static_cast<std::size_t>(f.numtrozos));
    for (std::int32_t i = 1; i <= f.numtrozos; ++i) {
        e.trozos.push_back(drawing::textChunk(trozos[static_cast<std::size_t>(i)]));
    }
    e.cabecera.numRegistros = static_cast<std::int16_t>(f.numtrozos + 1);
}

// The treatment of one text element: the last qualifying link whose record holds a text decides whether
// the text is replaced and by what. A link to a missing record, or to a record without any text,
// contributes nothing: the decision stays as the links before it left it.
void rewriteText(core::RunState& f, drawing::Elemento& e) {
    bool cambiado = false;
    bool inexistente = false;
    bool sinTexto = false;
    QString tabla;
    std::int32_t registroDecisivo = 0;
    QString texto = drawing::chunksText(e);
    core::limpia_texto(texto);
    core::quitablancos(texto);
    for (const drawing::EnlaceAtributo& enlace : e.enlaces) {
        if (skippedLink(enlace.entitynum)) {
            continue;
        }
        f.EntitynumActual = enlace.entitynum;
        const std::int32_t registro = enlace.mslink;
        f.NombreTablaActual.clear();
        catalog::busca_NombreTabla(f, f.EntitynumActual, f.NombreTablaActual);
        if (f.NombreTablaActual.isEmpty()) {
            throw platform::Stop(invalidAtrMessage(enlace));
        }
        switch (catalog::ObtengoTextoBdD(f, registro, f.NombreTablaActual, f.TextoEnBdD)) {
            case catalog::TextResult::Found:
                cambiado = !equalIgnoringCase(f.TextoEnBdD, texto);
                tabla = f.NombreTablaActual;
                registroDecisivo = registro;
                break;
            case catalog::TextResult::NoSuchRecord:
                inexistente = true;
                break;
            case catalog::TextResult::NoText:
                sinTexto = true;
                break;
        }
    }
    f.report.missingRecord += inexistente ? 1 : 0;
    f.report.recordWithoutText += sinTexto ? 1 : 0;
    if (cambiado) {
        ++f.TextosProcesados;
        putText(f, e, tabla, registroDecisivo);
    }
}

}  // namespace

void LeoBinCambiaTextoBin(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3) {
    runPass(f, file1, file3, [&f](drawing::Elemento& e) { rewriteText(f, e); });
}

}  // namespace vexilo::passes
