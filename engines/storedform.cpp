#include "engines/storedform.h"

#include "engines/connection.h"
#include "engines/dialect.h"

namespace vexilo::engines {

namespace {

// The characters of a text as both engines count them against a declared size: a character outside the
// basic plane (an emoji) is one, though it takes two UTF-16 units.
qsizetype characters(const QString& text) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())) {
            ++n;
        }
    }
    return n;
}

// A text longer than its field's declared size is refused here too, so that a table that another
// program created without a check behaves like one this layer created.
void refuseOversizedText(const FieldDef& f, const QString& text, const QString& storedTable) {
    if (f.type != dbText || f.size <= 0) {
        return;
    }
    if (text.size() > f.size && characters(text) > f.size) {
        throwEngineError(
            errnum::kValueRefused,
            QStringLiteral("El valor no es admisible en el campo '%1' de la tabla '%2': admite como "
                           "máximo %3 caracteres.")
                .arg(f.name, storedTable, QString::number(f.size)));
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
        if (values[i].kind() == PlainValue::Kind::Text) {
            refuseOversizedText(f, values[i].textValue(), m_table);
        }
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
