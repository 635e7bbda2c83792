#include "engines/plainrow.h"

namespace vexilo::engines {

QVariant PlainValue::toVariant() const {
    switch (m_kind) {
        case Kind::Whole:
            return QVariant(static_cast<qlonglong>(m_value.number));
        case Kind::Text:
            return QVariant(textValue());
        case Kind::Day:
            return QVariant(dayValue());
        case Kind::TimeOfDay:
            return QVariant(timeValue());
        case Kind::PackedUtf8:
            return QVariant(QString::fromUtf8(utf8()));
        case Kind::PackedUtf16:
            return QVariant(utf16().toString());
    }
    return QVariant();
}

std::vector<QVariant> variantsOf(std::span<const PlainValue> values) {
    std::vector<QVariant> variants;
    variants.reserve(values.size());
    for (const PlainValue& v : values) {
        variants.push_back(v.toVariant());
    }
    return variants;
}

}  // namespace vexilo::engines
