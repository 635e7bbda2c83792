#pragma once
// UTF-16 texts encoded as the database files store them, UTF-8, into room the caller gives: SQLite takes
// such a text as it is, with no conversion and no copy of its own. Internal to the engine layer.

#include <QString>
#include <QStringView>
#include <cstddef>

namespace vexilo::engines {

struct Utf8Encoded {
    std::size_t length = 0;  // in bytes, without the NUL added
    bool holdsNul = false;   // the text holds a NUL of its own
    bool surrogate = false;  // the text holds a surrogate code unit: what was written means nothing
};

// The room a text of `units` UTF-16 units takes encoded: three bytes at most for each unit, and the NUL.
constexpr std::size_t utf8Room(std::size_t units) {
    return units * 3 + 1;
}

// Writes `s` as UTF-8 at `out`, which has utf8Room(s.size()) bytes, followed by a NUL. A text holding a
// surrogate is left to SQLite's own conversion, so that even a malformed one is stored as a plain
// statement stores it: the encoding stops there.
Utf8Encoded encodeUtf8(QStringView s, char* out);

// Whether `s` is the very text `kept` holds, sharing its characters, not only an equal one: its encoding
// made for `kept` may then be used again. Kept, a text cannot change: a change of either copy detaches
// it first.
inline bool sameText(const QString& s, const QString& kept) {
    return !s.isEmpty() && s.isSharedWith(kept) && s.constData() == kept.constData() &&
           s.size() == kept.size();
}

}  // namespace vexilo::engines
