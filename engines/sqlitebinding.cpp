#include "engines/sqlitebinding.h"

#include <QByteArray>

#include "engines/datetext.h"
#include "engines/utf8text.h"

namespace vexilo::engines {

SqliteBinding::SqliteBinding(sqlite3_stmt* stmt)
    : m_stmt(stmt), m_marks(static_cast<std::size_t>(sqlite3_bind_parameter_count(stmt))) {}

SqliteBinding::~SqliteBinding() {
    sqlite3_finalize(m_stmt);
}

int SqliteBinding::bind(int index, const QVariant& v) {
    if (v.isNull()) {
        return sqlite3_bind_null(m_stmt, index);
    }
    switch (v.typeId()) {
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            return sqlite3_bind_blob(m_stmt, index, b.constData(), static_cast<int>(b.size()),
                                     SQLITE_TRANSIENT);
        }
        case QMetaType::Int:
        case QMetaType::Bool:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::UChar:
        case QMetaType::SChar:
            return sqlite3_bind_int(m_stmt, index, v.toInt());
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Long:
            return sqlite3_bind_int64(m_stmt, index, v.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return sqlite3_bind_double(m_stmt, index, v.toDouble());
        case QMetaType::QString:
            return bindText(index, *static_cast<const QString*>(v.constData()));
        default:
            return bindText(index, v.toString());
    }
}

int SqliteBinding::bind(int index, const PlainValue& v) {
    switch (v.kind()) {
        case PlainValue::Kind::Whole:
            return sqlite3_bind_int64(m_stmt, index, v.number());
        case PlainValue::Kind::Text:
            return bindText(index, v.textValue());
        case PlainValue::Kind::Day:
        case PlainValue::Kind::TimeOfDay:
            return bindMoment(index, v);
        // A packed text lies where the rows' blocks keep it until the statement is bound again; its
        // UTF-8 is followed by a NUL, as bindText gives a text.
        case PlainValue::Kind::PackedUtf8:
            return sqlite3_bind_text(m_stmt, index, v.utf8().data(),
                                     v.holdsNul() ? static_cast<int>(v.utf8().size()) : -1, SQLITE_STATIC);
        case PlainValue::Kind::PackedUtf16:
            return sqlite3_bind_text16(m_stmt, index, v.utf16().utf16(),
                                       static_cast<int>(v.utf16().size() * 2), SQLITE_TRANSIENT);
    }
    return SQLITE_MISUSE;
}

// The run log's day and time of day change once a second at most: the text of the one bound at the mark
// last time, while its buffer still holds it, is bound again as it stands.
int SqliteBinding::bindMoment(int index, const PlainValue& v) {
    if (index < 1 || static_cast<std::size_t>(index) > m_marks.size()) {
        return SQLITE_RANGE;
    }
    Mark& mark = m_marks[static_cast<std::size_t>(index - 1)];
    if (mark.moment == v.kind() && mark.momentValue == v.number()) {
        return sqlite3_bind_text(m_stmt, index, mark.utf8.data(), mark.length, SQLITE_STATIC);
    }
    const QString text = v.kind() == PlainValue::Kind::Day ? storedDateText(v.dayValue(), QTime(0, 0))
                                                           : storedDateText(kDayOfTimes, v.timeValue());
    const int rc = bindText(index, text);
    if (rc == SQLITE_OK && !mark.text.isNull()) {  // its UTF-8 kept in the buffer
        mark.moment = v.kind();
        mark.momentValue = v.number();
    }
    return rc;
}

// A text goes to the database file as UTF-8, encoded here into the mark's own buffer, which outlives
// the step: SQLite takes it as it is, with no conversion and no copy at the bind. A text holding any
// surrogate is left to SQLite's own conversion, so that even a malformed one is stored as a plain
// statement stores it.
//
// Many rows repeat a text at the same mark (the run log's file name, its table name, the moment of a
// second): the very text bound there last time, sharing its characters with the one kept, is bound
// from the buffer as it stands.
int SqliteBinding::bindText(int index, const QString& s) {
    if (index < 1 || static_cast<std::size_t>(index) > m_marks.size()) {
        return SQLITE_RANGE;
    }
    Mark& mark = m_marks[static_cast<std::size_t>(index - 1)];
    if (!sameText(s, mark.text)) {
        mark.text = QString();  // moved in place, as the copy below: the text let go of here, not in Qt
        mark.moment = PlainValue::Kind::Whole;
        if (const std::size_t room = utf8Room(static_cast<std::size_t>(s.size())); mark.utf8.size() < room) {
            mark.utf8.resize(room);  // only ever grows
        }
        const Utf8Encoded encoded = encodeUtf8(s, mark.utf8.data());
        if (encoded.surrogate) {
            return sqlite3_bind_text16(m_stmt, index, s.utf16(), static_cast<int>(s.size() * 2),
                                       SQLITE_TRANSIENT);
        }
        mark.length = encoded.holdsNul ? static_cast<int>(encoded.length) : -1;
        mark.text = QString(s);
    }
    // Given as NUL-terminated (length -1), the text is known to SQLite as such, and a CHECK on its
    // length reads it in place instead of copying it to add the NUL. A text holding a NUL of its own
    // goes with its length, so that nothing after that NUL is lost.
    return sqlite3_bind_text(m_stmt, index, mark.utf8.data(), mark.length, SQLITE_STATIC);
}

}  // namespace vexilo::engines
