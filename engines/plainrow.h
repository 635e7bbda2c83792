#pragma once
// A row of an insert given as the values themselves (whole numbers, texts, days, times of day) rather
// than as QVariants: the run log adds a row for nearly every text of a job, and each QVariant cost a
// dozen calls into QtCore between the caller, the check against its field and the bind, on both of the
// job's threads. A plain value says once what it is. An engine that binds plain values itself takes
// them as they are; any other is given the same values as QVariants.
//
// A text on its way to a writer thread may be packed: its characters put, in the form the engine binds
// them, into a block of bytes that the rows handed over together share (packedtexts.h), and the value
// left as a view of them. The thread then reads one block made in order instead of a text of its own
// for every value, each made on the other core, and lets go of nothing per value.

#include <QDate>
#include <QString>
#include <QStringView>
#include <QTime>
#include <QVarLengthArray>
#include <QVariant>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vexilo::engines {

class PlainValue {
  public:
    // PackedUtf8 and PackedUtf16: a text packed, as UTF-8 followed by a NUL, or as UTF-16 when it holds a
    // surrogate.
    enum class Kind : std::uint8_t { Whole, Text, Day, TimeOfDay, PackedUtf8, PackedUtf16 };

    PlainValue() = default;  // the whole number 0
    static PlainValue whole(std::int64_t n) { return PlainValue(Kind::Whole, n); }
    // A text, never Null: an empty one is stored as the empty text.
    static PlainValue text(const QString& s) { return PlainValue(Kind::Text, 0, s); }
    // The same, of a text that the caller keeps as it is until the call it gives the row to returns: the
    // value does not hold it (the run log's rows gave two atomic counts to each of their texts on the
    // pass's thread, one to hold it and one to let it go once packed). A writer thread gets it packed,
    // or a copy of its own (ownText).
    static PlainValue borrowedText(const QString& s) {
        PlainValue v(Kind::Text, 0);
        v.m_value.borrowed = &s;
        v.m_borrowed = true;
        return v;
    }
    // A day, stored at midnight, and a time of day, stored on the day zero of dates, as a QDate and a
    // QTime given in a QVariant are.
    static PlainValue day(QDate d) { return PlainValue(Kind::Day, d.toJulianDay()); }
    static PlainValue timeOfDay(QTime t) {
        return PlainValue(Kind::TimeOfDay, t.isValid() ? t.msecsSinceStartOfDay() : -1);
    }

    // A packed text, as viewed where it lies: `holdsNul` when the UTF-8 holds a NUL of its own.
    static PlainValue packedUtf8(std::string_view utf8, bool holdsNul) {
        PlainValue v(Kind::PackedUtf8, 0);
        v.m_value.utf8 = utf8.data();
        v.m_length = static_cast<std::int32_t>(utf8.size());
        v.m_holdsNul = holdsNul;
        return v;
    }
    static PlainValue packedUtf16(QStringView units) {
        PlainValue v(Kind::PackedUtf16, 0);
        v.m_value.utf16 = units.utf16();
        v.m_length = static_cast<std::int32_t>(units.size());
        return v;
    }

    Kind kind() const { return m_kind; }
    std::int64_t number() const { return m_value.number; }
    // Of a Text.
    const QString& textValue() const { return m_borrowed ? *m_value.borrowed : m_text; }
    // A borrowed text becomes the value's own.
    void ownText() {
        if (m_borrowed) {
            m_text = *m_value.borrowed;
            m_borrowed = false;
            m_value.number = 0;
        }
    }
    // Of a PackedUtf8 text: its bytes, without the NUL that follows them.
    std::string_view utf8() const { return {m_value.utf8, static_cast<std::size_t>(m_length)}; }
    bool holdsNul() const { return m_holdsNul; }
    // Of a PackedUtf16 text.
    QStringView utf16() const { return {m_value.utf16, m_length}; }
    QDate dayValue() const { return QDate::fromJulianDay(m_value.number); }
    QTime timeValue() const {
        return m_value.number < 0 ? QTime()
                                  : QTime::fromMSecsSinceStartOfDay(static_cast<int>(m_value.number));
    }
    // The same value as a QVariant, for an engine that binds QVariants.
    QVariant toVariant() const;
    // Lets go of the text on the calling thread (a writer thread's own, for a row it brought).
    void letGoOfText() { const QString gone = std::move(m_text); }

  private:
    PlainValue(Kind kind, std::int64_t number, const QString& text = QString()) : m_kind(kind), m_text(text) {
        m_value.number = number;
    }

    Kind m_kind = Kind::Whole;
    bool m_holdsNul = false;
    bool m_borrowed = false;    // a Text whose QString is the caller's
    std::int32_t m_length = 0;  // of a packed text: its UTF-8 bytes, or its UTF-16 units
    union {
        std::int64_t number = 0;  // a whole number, a day, a time of day
        const char* utf8;
        const char16_t* utf16;
        const QString* borrowed;
    } m_value;
    QString m_text;
};

}  // namespace vexilo::engines

// A plain value is moved as its bytes: a row's values move from the caller to the writer's queue.
Q_DECLARE_TYPEINFO(vexilo::engines::PlainValue, Q_RELOCATABLE_TYPE);

namespace vexilo::engines {

// A row's plain values, kept in the row itself: the hot rows have a few values each. Handed on by
// reference to the queue that keeps it, where it is moved once.
using PlainRow = QVarLengthArray<PlainValue, 8>;

std::vector<QVariant> variantsOf(std::span<const PlainValue> values);

}  // namespace vexilo::engines
