#include "engines/storedform.h"

#include <algorithm>
#include <string_view>

#include "engines/connection.h"
#include "engines/dialect.h"

namespace vexilo::engines {

namespace {

// The characters of a text as both engines count them against a declared size: a character outside the
// basic plane (an emoji) is one, though it takes two UTF-16 units.
qsizetype characters(QStringView text) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())) {
            ++n;
        }
    }
    return n;
}
// Of a packed UTF-8 text, which holds no surrogate: one for each byte that starts a character.
qsizetype characters(std::string_view utf8) {
    return std::count_if(utf8.begin(), utf8.end(),
                         [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

// A text longer than its field's declared size is refused here too, so that a table that another
// program created without a check behaves like one this layer created. `most` is at least the text's
// characters: a text that is no longer is not counted.
template <typename Text>
void refuseOversizedText(const FieldDef& f, Text text, qsizetype most, const QString& storedTable) {
    if (f.type != dbText || f.size <= 0) {
        return;
    }
    if (most > f.size && characters(text) > f.size) {
        throwEngineError(
            errnum::kValueRefused,
            QStringLiteral("El valor no es admisible en el campo '%1' de la tabla '%2': admite como "
                           "máximo %3 caracteres.")
                .arg(f.name, storedTable, QString::number(f.size)));
    }
}
void refuseOversizedText(const FieldDef& f, QStringView text, const QString& storedTable) {
    refuseOversizedText(f, text, text.size(), storedTable);
}

// A plain value's text, if it is one, measured where it lies.
void refuseOversizedText(const FieldDef& f, const PlainValue& v, const QString& storedTable) {
    switch (v.kind()) {
        case PlainValue::Kind::Text:
            refuseOversizedText(f, QStringView(v.textValue()), storedTable);
            return;
        case PlainValue::Kind::PackedUtf8:
            refuseOversizedText(f, v.utf8(), static_cast<qsizetype>(v.utf8().size()), storedTable);
            return;
        case PlainValue::Kind::PackedUtf16:
            refuseOversizedText(f, v.utf16(), storedTable);
            return;
        default:
            return;
    }
}

}  // namespace

void StoredForm::convert(std::span<QVariant> values) const {
    for (std::size_t i = 0; i < m_fields.size() && i < values.size(); ++i) {
        const FieldDef& f = m_fields[i];
        const QVariant& value = values[i];
        if (f.type == dbText && f.size > 0 && !value.isNull()) {
            // A text is measured where it is, not in a copy of its own.
            const bool isText = value.metaType().id() == QMetaType::QString;
            refuseOversizedText(
                f, isText ? *static_cast<const QString*>(value.constData()) : value.toString(), m_table);
        }
        refuseAsDialect(f, value);
        m_dialect->storeInPlace(values[i], f.type);
    }
}

void StoredForm::check(std::span<const PlainValue> values) const {
    for (std::size_t i = 0; i < m_fields.size() && i < values.size(); ++i) {
        const FieldDef& f = m_fields[i];
        refuseOversizedText(f, values[i], m_table);
        if (m_dialect->refusesValues()) {
            refuseAsDialect(f, values[i].toVariant());
        }
    }
}

void StoredForm::refuseAsDialect(const FieldDef& f, const QVariant& value) const {
    const QString why = m_dialect->refusal(f, value);
    if (!why.isEmpty()) {
        throwEngineError(errnum::kValueRefused,
                         QStringLiteral("El valor no es admisible en el campo '%1' de la tabla '%2': %3")
                             .arg(f.name, m_table, why));
    }
}

}  // namespace vexilo::engines
