#include "passes/assignmentpass.h"

#include <algorithm>
#include <limits>

#include "catalog/attributeindex.h"
#include "catalog/catalogcache.h"
#include "catalog/recordwriter.h"
#include "core/normalisation.h"
#include "drawing/elementtext.h"
#include "passes/passend.h"
#include "passes/textnote.h"
#include "schema/runlog.h"

namespace vexilo::passes {

namespace {

using core::Decision;
using core::PassedOver;

Decision decide(bool alreadyLinked, bool hasLinkForTable, bool keepGraphicAssignments) {
    if (alreadyLinked) {
        return Decision::Keep;
    }
    if (!hasLinkForTable) {
        return Decision::Append;
    }
    return keepGraphicAssignments ? Decision::Renumber : Decision::Relink;
}

// One more link (entity number, record, six spaces) after the element's own. The count field is 8 bits
// and a link's entity number 16 bits: an element that cannot take the link keeps its links as they are,
// and the reason is returned.
PassedOver appendLink(core::RunState& f, drawing::Element& e, std::int32_t registro) {
    if (e.links.size() >= static_cast<std::size_t>(drawing::layout::kMaxLinks)) {
        return PassedOver::FullLinks;
    }
    if (f.EntitynumActual > std::numeric_limits<std::int16_t>::max() ||
        f.EntitynumActual < std::numeric_limits<std::int16_t>::min()) {
        return PassedOver::EntitynumOutOfRange;
    }
    drawing::EnlaceAtributo link;
    link.entitynum = static_cast<std::int16_t>(f.EntitynumActual);
    link.mslink = registro;
    link.reservado.fill(' ');
    e.links.push_back(link);
    e.header.numEnlaces = static_cast<std::uint8_t>(e.links.size());
    return PassedOver::None;
}

// Ties a text element whose table has an entity number to the record that holds its text, and makes
// its links and that record agree. What was done goes into `entry`.
void assign(core::RunState& f, drawing::Element& e, QString& codigo, QString& texto, core::TextEntry& entry) {
    ++f.TextosProcesados;
    std::int32_t registro = 0;
    catalog::busca_en_su_tabla(f, codigo, f.NombreTablaActual, texto, registro, &entry.claimed);

    f.RegistroGrafico = 0;
    bool hasLinkForTable = false;
    for (const drawing::EnlaceAtributo& link : e.links) {
        if (link.entitynum == f.EntitynumActual) {
            hasLinkForTable = true;
            f.RegistroGrafico = link.mslink;  // the last such link wins
        }
    }
    if (registro == 0) {
        catalog::AnadeNuevoRegistro(f, codigo, f.NombreTablaActual, texto, registro);
        entry.newRecord = true;
    }
    schema::AnadeAControlProceso(f, f.NombreTablaActual, registro, f.NombreBin, texto, f.RegistroGrafico);

    const bool alreadyLinked =
        std::any_of(e.links.begin(), e.links.end(), [&](const drawing::EnlaceAtributo& l) {
            return l.entitynum == f.EntitynumActual && l.mslink == registro;
        });
    entry.decision = decide(alreadyLinked, hasLinkForTable, f.MantenerAsignaciones);
    f.CorregirEnlace = entry.decision == Decision::Relink;
    f.CorregirRegistro = entry.decision == Decision::Renumber;
    switch (entry.decision) {
        case Decision::Append:
            entry.passedOver = appendLink(f, e, registro);
            if (entry.passedOver != PassedOver::None) {
                entry.decision = Decision::None;
            }
            break;
        case Decision::Relink:
            for (drawing::EnlaceAtributo& link : e.links) {
                if (link.entitynum == f.EntitynumActual) {
                    link.mslink = registro;
                }
            }
            break;
        case Decision::Renumber:
            catalog::ModificaRegistro(f, f.NombreTablaActual, registro, f.RegistroGrafico);
            break;
        default:
            break;
    }
    schema::AnadeAControlProceso(f, f.NombreTablaActual, registro, f.NombreBinSalida, texto, registro);
    entry.tabla = &f.NombreTablaActual;
    entry.entitynum = f.EntitynumActual;
    entry.registro = registro;
}

// The pass's treatment of one carried text element; the walk writes it afterwards.
void treatText(core::RunState& f, drawing::Element& e) {
    // The code travels as one text between the lookups: every lookup cleans it (limpia_texto) and the
    // field only ever holds what fits in 7 characters, so storing it back after each call would change
    // nothing that the next call sees.
    QString codigo = codeText(e.header);
    f.NombreTablaActual.clear();
    core::TextEntry entry;
    entry.passedOver = catalog::busca_Feature(f, codigo, f.NombreTablaActual);
    f.EntitynumActual = 0;
    if (!f.NombreTablaActual.isEmpty()) {
        catalog::busca_entitynum(f, f.NombreTablaActual, f.EntitynumActual);
        if (f.EntitynumActual <= 0) {
            entry.passedOver = PassedOver::NoEntitynum;
        }
    }
    QString texto = drawing::chunksText(e);
    core::limpia_texto(texto);
    core::quitablancos(texto);
    f.CorregirEnlace = false;
    f.CorregirRegistro = false;
    if (f.EntitynumActual > 0) {
        assign(f, e, codigo, texto, entry);
    }
    entry.offset = e.offset;
    entry.codigo = &codigo;
    entry.texto = &texto;
    noteText(f, entry);
    core::completa_codigo(codigo);
    drawing::storeCode(e.header, codigo);
}

}  // namespace

void LeoBinEntrada(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3) {
    runPass(f, file1, file3, [&f](drawing::Element& e) { treatText(f, e); });
}

}  // namespace vexilo::passes
