#include "catalog/textreader.h"

#include <limits>
#include <optional>

#include "catalog/conversion.h"
#include "catalog/tablesearch.h"
#include "core/normalisation.h"

namespace vexilo::catalog {

namespace {

const QString kMslink = QStringLiteral("mslink");
const QString kTmapa = QStringLiteral("tmapa");
const QString kTcomplet = QStringLiteral("tcomplet");

// The record number a stored mslink value answers to, if a query "mslink=N" with a 32-bit N can match
// it: a whole number (an integral real or a numeric text too), never Null or a fraction.
std::optional<std::int32_t> recordNumber(const QVariant& v) {
    const auto n =
        wholeFromValue(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    if (!n) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*n);
}

// The engine reads an absent column as Null; a table without the three columns must not pass for one
// whose records hold no text, so the columns are checked as a query by name would.
void requireColumns(platform::Database& bd, const QString& NombreTabla) {
    const std::vector<QString> campos = bd.FieldNames(NombreTabla);
    for (const QString& buscado : {kMslink, kTmapa, kTcomplet}) {
        if (!hasField(campos, buscado)) {
            throw platform::EngineError(
                3265, QStringLiteral("No existe el campo %1 en la tabla %2.").arg(buscado, NombreTabla));
        }
    }
}

}  // namespace

const AttributeTexts::Tabla& AttributeTexts::tabla(platform::Database& bd, const QString& NombreTabla) {
    if (m_ultima != nullptr && NombreTabla == m_ultimoNombre) {
        return *m_ultima;
    }
    const QString clave = NombreTabla.toUpper();  // the engine matches table names without regard to case
    auto it = m_tablas.find(clave);
    if (it == m_tablas.end()) {
        it = m_tablas.emplace(clave, lee(bd, NombreTabla)).first;
    }
    m_ultimoNombre = NombreTabla;
    m_ultima = &it->second;
    return it->second;
}

AttributeTexts::Tabla AttributeTexts::lee(platform::Database& bd, const QString& NombreTabla) {
    requireColumns(bd, NombreTabla);
    Tabla textos;
    for (const platform::Database::Row& fila : bd.ReadRows(NombreTabla, {kMslink, kTmapa, kTcomplet})) {
        const std::optional<std::int32_t> numero = recordNumber(fila.values[0]);
        if (!numero || textos.count(*numero) != 0) {
            continue;  // a shared number reads as its first record in stored order
        }
        const QVariant& tmapa = fila.values[1];
        const QVariant& valor = tmapa.isNull() ? fila.values[2] : tmapa;
        Texto t;
        t.nulo = valor.isNull();
        if (!t.nulo) {
            t.texto = core::trimSpaces(valor.toString());
        }
        textos.emplace(*numero, std::move(t));
    }
    return textos;
}

TextResult ObtengoTextoBdD(core::RunState& f, std::int32_t registro, const QString& NombreTabla,
                           QString& TextoEnBdD) {
    AttributeTexts& cache = f.caches.get<AttributeTexts>([] { return std::make_shared<AttributeTexts>(); });
    const AttributeTexts::Tabla& textos = cache.tabla(*f.Bd, NombreTabla);
    auto it = textos.find(registro);
    if (it == textos.end()) {
        return TextResult::NoSuchRecord;
    }
    if (it->second.nulo) {
        return TextResult::NoText;
    }
    TextoEnBdD = it->second.texto;
    return TextResult::Found;
}

}  // namespace vexilo::catalog
