#include "passes/assignmentpass.h"

#include <algorithm>
#include <limits>

#include "catalog/recordwriter.h"
#include "core/normalisation.h"
#include "drawing/elementtext.h"
#include "passes/passend.h"
#include "passes/textnote.h"

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
PassedOver appendLink(drawing::Element& e, std::int32_t entitynum, std::int32_t registro) {
    if (e.links.size() >= static_cast<std::size_t>(drawing::layout::kMaxLinks)) {
        return PassedOver::FullLinks;
    }
    if (entitynum > std::numeric_limits<std::int16_t>::max() ||
        entitynum < std::numeric_limits<std::int16_t>::min()) {
        return PassedOver::EntitynumOutOfRange;
    }
    drawing::EnlaceAtributo link;
    link.entitynum = static_cast<std::int16_t>(entitynum);
    link.mslink = registro;
    link.reservado.fill(' ');
    e.links.push_back(link);
    e.header.numEnlaces = static_cast<std::uint8_t>(e.links.size());
    return PassedOver::None;
}

// The record number that the element's own links give for the table (the last such link wins); 0 when
// none links to it.
std::int32_t graphicRecord(const drawing::Element& e, std::int32_t entitynum) {
    std::int32_t registro = 0;
    for (const drawing::EnlaceAtributo& link : e.links) {
        if (link.entitynum == entitynum) {
            registro = link.mslink;
        }
    }
    return registro;
}

// Ties a text element whose table has an entity number to the record that holds its text, and makes
// its links and that record agree. What was done goes into `entry`.
void assign(const AssignmentInputs& in, drawing::Element& e, QString& codigo, QString& texto,
            const QString& NombreTabla, std::int32_t entitynum, core::TextEntry& entry) {
    std::int32_t registro =
        catalog::busca_en_su_tabla(in.records, codigo, NombreTabla, texto, &entry.claimed);

    const std::int32_t RegistroGrafico = graphicRecord(e, entitynum);
    const bool hasLinkForTable =
        std::any_of(e.links.begin(), e.links.end(),
                    [&](const drawing::EnlaceAtributo& l) { return l.entitynum == entitynum; });
    if (registro == 0) {
        registro = catalog::AnadeNuevoRegistro(in.records, codigo, NombreTabla, texto,
                                               in.MantenerAsignaciones ? RegistroGrafico : 0);
        entry.newRecord = true;
    }
    schema::AnadeAControlProceso(in.log, NombreTabla, registro, in.NombreBin, texto, RegistroGrafico);

    const bool alreadyLinked = std::any_of(
        e.links.begin(), e.links.end(),
        [&](const drawing::EnlaceAtributo& l) { return l.entitynum == entitynum && l.mslink == registro; });
    entry.decision = decide(alreadyLinked, hasLinkForTable, in.MantenerAsignaciones);
    switch (entry.decision) {
        case Decision::Append:
            entry.passedOver = appendLink(e, entitynum, registro);
            if (entry.passedOver != PassedOver::None) {
                entry.decision = Decision::None;
            }
            break;
        case Decision::Relink:
            for (drawing::EnlaceAtributo& link : e.links) {
                if (link.entitynum == entitynum) {
                    link.mslink = registro;
                }
            }
            break;
        case Decision::Renumber:
            catalog::ModificaRegistro(in.records, NombreTabla, registro, RegistroGrafico);
            break;
        default:
            break;
    }
    schema::AnadeAControlProceso(in.log, NombreTabla, registro, in.NombreBinSalida, texto, registro);
    entry.entitynum = entitynum;
    entry.registro = registro;
}

// The pass's treatment of one carried text element; the walk writes it afterwards. `texto` is the
// pass's own, reused from element to element.
void treatText(const AssignmentInputs& in, PassView& view, drawing::Element& e, QString& texto) {
    // The code travels as one text between the lookups: every lookup cleans it (limpia_texto) and the
    // field only ever holds what fits in 7 characters, so storing it back after each call would change
    // nothing that the next call sees.
    QString codigo = codeText(e.header);
    core::TextEntry entry;
    const catalog::FeatureMatch feature = catalog::busca_Feature(in.catalog, codigo);
    entry.passedOver = feature.passedOver;
    std::int32_t entitynum = 0;
    if (!feature.NombreTabla.isEmpty()) {
        entitynum = catalog::busca_entitynum(in.catalog, feature.NombreTabla);
        if (entitynum <= 0) {
            entry.passedOver = PassedOver::NoEntitynum;
        }
    }
    drawing::chunksText(e, texto);
    core::limpia_texto(texto);
    core::quitablancos(texto);
    if (entitynum > 0) {
        ++view.TextosProcesados;
        assign(in, e, codigo, texto, feature.NombreTabla, entitynum, entry);
        entry.tabla = &feature.NombreTabla;
    }
    entry.offset = e.offset;
    entry.codigo = &codigo;
    entry.texto = &texto;
    noteText(view, entry);
    core::completa_codigo(codigo);
    drawing::storeCode(e.header, codigo);
}

}  // namespace

void LeoBinEntrada(const AssignmentInputs& in, PassView& view, drawing::BinReader& file1,
                   drawing::BinWriter& file3) {
    // The tables the texts' codes lead to are read all at once before the walk; the run log's own, whose
    // rows the walk adds to, is read on first use, as every table was.
    std::vector<QString> tables = catalog::assignableTables(in.catalog);
    std::erase_if(tables, [](const QString& t) {
        return t.compare(schema::kControlProceso, Qt::CaseInsensitive) == 0;
    });
    in.records.loadTogether(tables);
    QString texto;
    runPass(view, file1, file3, [&in, &view, &texto](drawing::Element& e) { treatText(in, view, e, texto); });
}

}  // namespace vexilo::passes
