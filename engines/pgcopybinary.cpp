#include "engines/pgcopybinary.h"

#include <QDate>
#include <QtEndian>
#include <limits>

namespace vexilo::engines {

namespace {

// The server counts a timestamp in microseconds from 2000-01-01 00:00:00.
constexpr qint64 kJulianDayOf2000 = 2451545;
constexpr qint64 kMicroseconds = 1000000;

template <typename T>
void appendBig(QByteArray& out, T value) {
    const T big = qToBigEndian(value);
    out.append(reinterpret_cast<const char*>(&big), sizeof big);
}

void appendField(QByteArray& out, const char* bytes, qsizetype size) {
    appendBig<std::int32_t>(out, static_cast<std::int32_t>(size));
    out.append(bytes, size);
}

template <typename T>
bool appendWhole(QByteArray& out, const QVariant& v) {
    const int type = v.typeId();
    if (type != QMetaType::LongLong && type != QMetaType::Int) {
        return false;
    }
    const qlonglong n = v.toLongLong();
    if (n < std::numeric_limits<T>::min() || n > std::numeric_limits<T>::max()) {
        return false;
    }
    appendBig<std::int32_t>(out, sizeof(T));
    appendBig<T>(out, static_cast<T>(n));
    return true;
}

bool appendText(QByteArray& out, const QVariant& v) {
    if (v.typeId() != QMetaType::QString) {
        return false;
    }
    const QByteArray utf8 = static_cast<const QString*>(v.constData())->toUtf8();
    appendField(out, utf8.constData(), utf8.size());
    return true;
}

// The digits of `s` from `at`, `count` of them; -1 when any is not a digit.
int digits(const QString& s, qsizetype at, int count) {
    int n = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9') {
            return -1;
        }
        n = n * 10 + (c - u'0');
    }
    return n;
}

// A moment written as every stored date is, 'YYYY-MM-DD HH:MM:SS'; any other text the server reads itself.
bool appendTimestamp(QByteArray& out, const QVariant& v) {
    if (v.typeId() != QMetaType::QString) {
        return false;
    }
    const QString& s = *static_cast<const QString*>(v.constData());
    if (s.size() != 19 || s[4] != u'-' || s[7] != u'-' || s[10] != u' ' || s[13] != u':' || s[16] != u':') {
        return false;
    }
    const QDate day(digits(s, 0, 4), digits(s, 5, 2), digits(s, 8, 2));
    const int hour = digits(s, 11, 2);
    const int minute = digits(s, 14, 2);
    const int second = digits(s, 17, 2);
    if (!day.isValid() || day.year() < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59) {
        return false;
    }
    const qint64 seconds =
        (day.toJulianDay() - kJulianDayOf2000) * 86400 + hour * 3600 + minute * 60 + second;
    appendBig<std::int32_t>(out, 8);
    appendBig<std::int64_t>(out, seconds * kMicroseconds);
    return true;
}

bool appendValue(QByteArray& out, BinaryColumn column, const QVariant& v) {
    if (!v.isValid() || v.isNull()) {
        appendBig<std::int32_t>(out, -1);
        return true;
    }
    switch (column) {
        case BinaryColumn::Int2:
            return appendWhole<std::int16_t>(out, v);
        case BinaryColumn::Int4:
            return appendWhole<std::int32_t>(out, v);
        case BinaryColumn::Int8:
            return appendWhole<std::int64_t>(out, v);
        case BinaryColumn::Utf8:
            return appendText(out, v);
        case BinaryColumn::Timestamp:
            return appendTimestamp(out, v);
        case BinaryColumn::None:
            break;
    }
    return false;
}

}  // namespace

BinaryColumn binaryColumnOf(const QString& formattedType) {
    if (formattedType == QLatin1String("smallint")) {
        return BinaryColumn::Int2;
    }
    if (formattedType == QLatin1String("integer")) {
        return BinaryColumn::Int4;
    }
    if (formattedType == QLatin1String("bigint")) {
        return BinaryColumn::Int8;
    }
    if (formattedType == QLatin1String("text") || formattedType == QLatin1String("character varying") ||
        formattedType.startsWith(QLatin1String("character varying("))) {
        return BinaryColumn::Utf8;
    }
    if (formattedType == QLatin1String("timestamp without time zone") ||
        (formattedType.startsWith(QLatin1String("timestamp(")) &&
         formattedType.endsWith(QLatin1String(") without time zone")))) {
        return BinaryColumn::Timestamp;
    }
    return BinaryColumn::None;
}

bool appendBinaryRow(QByteArray& out, std::span<const BinaryColumn> columns,
                     std::optional<std::int64_t> first, std::span<const QVariant> values) {
    if (columns.size() != values.size() + (first ? 1 : 0)) {
        return false;
    }
    const qsizetype start = out.size();
    appendBig<std::int16_t>(out, static_cast<std::int16_t>(columns.size()));
    std::size_t c = 0;
    if (first) {
        appendBig<std::int32_t>(out, 8);
        appendBig<std::int64_t>(out, *first);
        ++c;
    }
    for (const QVariant& v : values) {
        if (!appendValue(out, columns[c++], v)) {
            out.truncate(start);
            return false;
        }
    }
    return true;
}

QByteArray binaryCopyHeader() {
    QByteArray header("PGCOPY\n\377\r\n", 10);
    header.append('\0');
    appendBig<std::int32_t>(header, 0);  // flags
    appendBig<std::int32_t>(header, 0);  // no header extension
    return header;
}

QByteArray binaryCopyTrailer() {
    QByteArray trailer;
    appendBig<std::int16_t>(trailer, -1);
    return trailer;
}

}  // namespace vexilo::engines
