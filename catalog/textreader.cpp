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
std::optional<std::int32_t> recordNumber(const engines::Database::StoredRow& row) {
    const std::optional<std::int64_t> n = wholeFromRow(row, 0, std::numeric_limits<std::int32_t>::min(),
                                                       std::numeric_limits<std::int32_t>::max());
    if (!n) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*n);
}

// The engine reads an absent column as Null; a table without the three columns must not pass for one
// whose records hold no text, so the columns are checked as a query by name would.
void requireColumns(engines::Database& bd, const QString& NombreTabla) {
    const std::vector<QString> fields = bd.FieldNames(NombreTabla);
    for (const QString& sought : {kMslink, kTmapa, kTcomplet}) {
        if (!hasField(fields, sought)) {
            throw core::EngineError(
                3265, QStringLiteral("No existe el campo %1 en la tabla %2.").arg(sought, NombreTabla));
        }
    }
}

}  // namespace

const AttributeTexts::Table& AttributeTexts::table(const QString& NombreTabla) {
    const QString clave = NombreTabla.toUpper();  // the engine matches table names without regard to case
    auto it = m_tables.find(clave);
    if (it == m_tables.end()) {
        it = m_tables.emplace(clave, read(m_bd, NombreTabla)).first;
    }
    return it->second;
}

AttributeTexts::Table AttributeTexts::read(engines::Database& bd, const QString& NombreTabla) {
    requireColumns(bd, NombreTabla);
    Table texts;
    bd.ForEachStoredRow(
        NombreTabla, {kMslink, kTmapa, kTcomplet},
        [&texts](const engines::Database::StoredRow& row) {
            const std::optional<std::int32_t> number = recordNumber(row);
            if (!number) {
                return;
            }
            const std::size_t column = row.isNull(1) ? 2 : 1;  // tcomplet when tmapa is Null
            // A shared number reads as its first record in stored order, which the identity gives.
            const engines::RowId order = row.id();
            if (row.isNull(column)) {
                texts.add(*number, std::nullopt, order);
            } else if (const std::optional<engines::Database::StoredText> stored = row.text(column)) {
                std::visit([&](auto t) { texts.add(*number, core::trimmedSpaces(t), order); }, *stored);
            } else {
                const QString texto = row.value(column).toString();  // a number or a date in a text's place
                texts.add(*number, core::trimmedSpaces(QStringView(texto)), order);
            }
        },
        engines::Database::RowHandling::Light, engines::Database::RowOrder::Any);
    texts.loaded();
    return texts;
}

TextResult ObtengoTextoBdD(AttributeTexts& texts, std::int32_t registro, const QString& NombreTabla,
                           QStringView& TextoEnBdD) {
    return ObtengoTextoBdD(texts.table(NombreTabla), registro, TextoEnBdD);
}

TextResult ObtengoTextoBdD(const AttributeTexts::Table& table, std::int32_t registro,
                           QStringView& TextoEnBdD) {
    const std::optional<AttributeTexts::Text> text = table.find(registro);
    if (!text) {
        return TextResult::NoSuchRecord;
    }
    if (text->null) {
        return TextResult::NoText;
    }
    TextoEnBdD = text->texto;
    return TextResult::Found;
}

}  // namespace vexilo::catalog
