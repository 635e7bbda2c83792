#include "catalog/conversion.h"

#include <cmath>

#include "core/normalisation.h"

namespace vexilo::catalog {

std::optional<std::int64_t> parseWhole(QStringView text, std::int64_t min, std::int64_t max) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    // Accumulate as a magnitude that stops growing past any 32-bit range, so long texts cannot overflow.
    constexpr std::int64_t kCap = std::int64_t{1} << 40;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        if (magnitude < kCap) {
            magnitude = magnitude * 10 + (c.unicode() - '0');
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> wholeFromRow(const engines::Database::StoredRow& row, std::size_t column,
                                         std::int64_t min, std::int64_t max) {
    if (const std::optional<std::int64_t> n = row.integer(column)) {
        return *n >= min && *n <= max ? n : std::nullopt;
    }
    return wholeFromValue(row.value(column), min, max);
}

std::optional<std::int64_t> wholeFromValue(const QVariant& value, std::int64_t min, std::int64_t max) {
    if (value.isNull()) {
        return std::nullopt;
    }
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::Long: {
            const std::int64_t v = value.toLongLong();
            if (v < min || v > max) {
                return std::nullopt;
            }
            return v;
        }
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::UShort:
        case QMetaType::ULong: {
            const std::uint64_t v = value.toULongLong();
            if (max < 0 || v > static_cast<std::uint64_t>(max) || static_cast<std::int64_t>(v) < min) {
                return std::nullopt;
            }
            return static_cast<std::int64_t>(v);
        }
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = value.toDouble();
            if (!std::isfinite(d) || d != std::floor(d) || d < static_cast<double>(min) ||
                d > static_cast<double>(max)) {
                return std::nullopt;
            }
            return static_cast<std::int64_t>(d);
        }
        case QMetaType::QString:
            return parseWhole(core::trimSpaces(value.toString()), min, max);
        default:
            return std::nullopt;
    }
}

QString describeValue(const QVariant& value) {
    if (value.isNull()) {
        return QStringLiteral("nulo");
    }
    if (value.typeId() == QMetaType::QByteArray) {
        return QStringLiteral("binario");
    }
    return QLatin1Char('"') + value.toString() + QLatin1Char('"');
}

}  // namespace vexilo::catalog
