#include "engines/utf8text.h"

namespace vexilo::engines {

Utf8Encoded encodeUtf8(QStringView s, char* out) {
    Utf8Encoded e;
    char* p = out;
    for (const QChar qc : s) {
        const char16_t c = qc.unicode();
        if (c < 0x80) {
            e.holdsNul |= c == 0;
            *p++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            e.surrogate = true;
            return e;
        } else {
            *p++ = static_cast<char>(0xE0 | (c >> 12));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    *p = '\0';
    e.length = static_cast<std::size_t>(p - out);
    return e;
}

}  // namespace vexilo::engines
