#include "passes/rewritepass.h"

#include <limits>
#include <unordered_map>
#include <vector>

#include "core/funcionesp.h"
#include "core/normalisation.h"
#include "drawing/elementtext.h"
#include "passes/passend.h"
#include "passes/textnote.h"

namespace vexilo::passes {

namespace {

// Links of these entity numbers carry no attribute record and are passed over.
bool skippedLink(std::int16_t entitynum) {
    return entitynum == 1 || entitynum == 32765 || entitynum == 32766 || entitynum == 32767;
}

// Whether two characters have the same upper form. Equal characters and plain ASCII, nearly every
// character of a map's texts, are settled without the Unicode tables.
bool sameUpper(QChar a, QChar b) {
    if (a == b) {
        return true;
    }
    const char16_t x = a.unicode();
    const char16_t y = b.unicode();
    if (x < 0x80 && y < 0x80) {
        return core::asciiUpper(x) == core::asciiUpper(y);
    }
    return a.toUpper() == b.toUpper();
}

// Upper-case comparison, character by character, so that no letter's upper form changes the length.
bool equalIgnoringCase(QStringView a, QStringView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!sameUpper(a.at(i), b.at(i))) {
            return false;
        }
    }
    return true;
}

QString invalidAtrMessage(const drawing::EnlaceAtributo& link) {
    return QStringLiteral("Hay un texto con ATR no válido :") + QChar(13) + QString::number(link.entitynum) +
           QStringLiteral("  ") + QString::number(link.mslink);
}

// Replaces the element's chunks by TextoEnBdD cut into 12-character pieces.
void putText(drawing::Element& e, QString TextoEnBdD, const QString& table, std::int32_t registro) {
    std::int32_t numtrozos = 1;
    std::vector<QString> trozos;
    if (TextoEnBdD.size() <= 11) {
        core::completa_trozo(TextoEnBdD);
        trozos = {QString(), TextoEnBdD};
    } else {
        core::parte_en_trozos(TextoEnBdD, trozos, numtrozos);
    }
    // numRegistros is 16 bits wide: a text of more than 393,000 characters cannot be stored in an element.
    if (numtrozos >= std::numeric_limits<std::int16_t>::max()) {
        throw core::Stop(QStringLiteral("El texto del registro %1 de la tabla %2 es demasiado largo para "
                                        "el dibujo.")
                             .arg(registro)
                             .arg(table));
    }
    e.chunks.clear();
    e.chunks.reserve(static_cast<std::size_t>(numtrozos));
    for (std::int32_t i = 1; i <= numtrozos; ++i) {
        e.chunks.push_back(drawing::textChunk(trozos[static_cast<std::size_t>(i)]));
    }
    e.header.numRegistros = static_cast<std::int16_t>(numtrozos + 1);
}

// What the links of an element led to, link after link.
struct LinkFindings {
    bool changed = false;
    bool found = false;  // some link's record holds a text: the element gets a decision
    bool missing = false;
    bool noText = false;
    QStringView TextoEnBdD;          // the text of the record that decided, as the job's texts keep it
    const QString* table = nullptr;  // of the link that decided
    std::int32_t entitynum = 0;
    std::int32_t registro = 0;

    core::PassedOver passedOver() const {
        if (found) {
            return core::PassedOver::None;
        }
        if (missing) {
            return core::PassedOver::MissingRecord;
        }
        return noText ? core::PassedOver::RecordWithoutText : core::PassedOver::NoLinks;
    }
};

// The table each entity number names, with its texts: named and read when a link first names it, then
// known for the rest of the pass (neither the catalog nor the tables change while it runs). A link that
// names no table, or a table that cannot be read, ends the pass as the link is met.
class LinkTables {
  public:
    struct Table {
        QString NombreTabla;
        const catalog::AttributeTexts::Table* texts = nullptr;
    };

    LinkTables(const catalog::Catalog& catalog, catalog::AttributeTexts& texts)
        : m_catalog(catalog), m_texts(texts) {}

    const Table& of(const drawing::EnlaceAtributo& link) {
        if (const auto known = m_known.find(link.entitynum); known != m_known.end()) {
            return known->second;
        }
        QString NombreTabla = catalog::busca_NombreTabla(m_catalog, link.entitynum);
        if (NombreTabla.isEmpty()) {
            throw core::Stop(invalidAtrMessage(link));
        }
        const catalog::AttributeTexts::Table& texts = m_texts.table(NombreTabla);
        return m_known.emplace(link.entitynum, Table{std::move(NombreTabla), &texts}).first->second;
    }

  private:
    const catalog::Catalog& m_catalog;
    catalog::AttributeTexts& m_texts;
    std::unordered_map<std::int16_t, Table> m_known;  // a node stays where it is as others are added
};

// A link of an element that names an attribute record, with its table.
struct Link {
    const LinkTables::Table* table = nullptr;
    std::int32_t entitynum = 0;
    std::int32_t registro = 0;
};

// The element's links that name a record, in order, each with its table.
void resolveLinks(LinkTables& tables, const drawing::Element& e, std::vector<Link>& links) {
    links.clear();
    for (const drawing::EnlaceAtributo& link : e.links) {
        if (!skippedLink(link.entitynum)) {
            links.push_back({&tables.of(link), link.entitynum, link.mslink});
        }
    }
}

// Reads, link by link, the text the database holds for the element. The last link whose record holds a
// text decides whether the text is replaced and by what (left in TextoEnBdD); a link to a missing
// record, or to a record without any text, contributes nothing.
LinkFindings readLinks(const std::vector<Link>& links, const QString& texto) {
    LinkFindings r;
    for (const Link& link : links) {
        switch (catalog::ObtengoTextoBdD(*link.table->texts, link.registro, r.TextoEnBdD)) {
            case catalog::TextResult::Found:
                r.changed = !equalIgnoringCase(r.TextoEnBdD, texto);
                r.found = true;
                r.table = &link.table->NombreTabla;
                r.entitynum = link.entitynum;
                r.registro = link.registro;
                break;
            case catalog::TextResult::NoSuchRecord:
                r.missing = true;
                break;
            case catalog::TextResult::NoText:
                r.noText = true;
                break;
        }
    }
    return r;
}

// The treatment of one text element. An element whose links give no text at all is passed over, with
// the reason: a link to a missing record before one to a record without text, and either before no link.
// `found` holds the element's links and `texto` its text: the pass's own, reused from element to element.
void rewriteText(LinkTables& tables, PassView& view, drawing::Element& e, std::vector<Link>& found,
                 QString& texto) {
    resolveLinks(tables, e, found);
    drawing::chunksText(e, texto);
    core::limpia_texto(texto);
    core::quitablancos(texto);
    const LinkFindings links = readLinks(found, texto);
    core::TextEntry entry;
    QString textoNuevo;
    if (links.changed) {
        ++view.TextosProcesados;
        textoNuevo = links.TextoEnBdD.toString();
        entry.textoNuevo = &textoNuevo;  // before it is cut into chunks
        putText(e, textoNuevo, *links.table, links.registro);
    }
    entry.decision =
        links.found ? (links.changed ? core::Decision::Rewrite : core::Decision::Keep) : core::Decision::None;
    entry.passedOver = links.passedOver();
    if (view.observer == nullptr) {
        noteText(view, entry);
        return;
    }
    QString codigo = drawing::codeText(e.header);  // only the report shows it: this pass never reads it
    core::limpia_texto(codigo);
    entry.offset = e.offset;
    entry.codigo = &codigo;
    entry.texto = &texto;
    if (links.found) {
        entry.tabla = links.table;
        entry.entitynum = links.entitynum;
        entry.registro = links.registro;
    }
    noteText(view, entry);
}

}  // namespace

void LeoBinCambiaTextoBin(const catalog::Catalog& catalog, catalog::AttributeTexts& texts, PassView& view,
                          drawing::BinReader& file1, drawing::BinWriter& file3) {
    LinkTables tables(catalog, texts);
    std::vector<Link> links;
    QString texto;
    runPass(view, file1, file3, [&tables, &view, &links, &texto](drawing::Element& e) {
        rewriteText(tables, view, e, links, texto);
    });
}

}  // namespace vexilo::passes
