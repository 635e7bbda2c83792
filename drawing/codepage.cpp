#include "drawing/codepage.h"

#include <array>

namespace vexilo::drawing::codepage {

namespace {

// Bytes 0x80 to 0x9F are where Windows-1252 differs from Latin-1. The five bytes that the code page
// leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same number, as Windows
// itself does, so that no byte is lost on a round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// The whole table: byte -> UTF-16 code unit.
constexpr std::array<char16_t, 256> makeTable() {
    std::array<char16_t, 256> table{};
    for (std::size_t b = 0; b < 256; ++b) {
        table[b] = static_cast<char16_t>(b);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        table[0x80 + i] = kHighControls[i];
    }
    return table;
}

constexpr std::array<char16_t, 256> kTable = makeTable();

}  // namespace

QChar toUnicode(std::uint8_t byte) {
    return QChar(kTable[byte]);
}

std::uint8_t fromUnicode(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return static_cast<std::uint8_t>(codePoint);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == codePoint) {
            return static_cast<std::uint8_t>(0x80 + i);
        }
    }
    return kReplacement;
}

QString decode(const std::uint8_t* bytes, std::size_t n) {
    QString text(static_cast<qsizetype>(n), Qt::Uninitialized);
    decodeTo(bytes, n, text.data());
    return text;
}

void decodeTo(const std::uint8_t* bytes, std::size_t n, QChar* out) {
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = toUnicode(bytes[i]);
    }
}

std::size_t encodeTo(QStringView text, std::uint8_t* out, std::size_t capacity) {
    std::size_t written = 0;
    for (qsizetype i = 0; i < text.size() && written < capacity; ++i) {
        const QChar c = text.at(i);
        char32_t codePoint = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(c, text.at(i + 1));
            ++i;
        }
        out[written++] = fromUnicode(codePoint);
    }
    return written;
}

QByteArray encode(const QString& text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);  // never more bytes than code units
    bytes.truncate(static_cast<qsizetype>(encodeTo(text, reinterpret_cast<std::uint8_t*>(bytes.data()),
                                                   static_cast<std::size_t>(bytes.size()))));
    return bytes;
}

}  // namespace vexilo::drawing::codepage
