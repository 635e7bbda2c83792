#pragma once
// A row of an insert given as the values themselves (whole numbers, texts, days, times of day) rather
// than as QVariants: the run log adds a row for nearly every text of a job, and each QVariant cost a
// dozen calls into QtCore between the caller, the check against its field and the bind, on both of the
// job's threads. A plain value says once what it is. An engine that binds plain values itself takes
// them as they are; any other is given the same values as QVariants.

#include <QDate>
#include <QString>
#include <QTime>
#include <QVarLengthArray>
#include <QVariant>
#include <cstdint>
#include <span>
#include <vector>

namespace vexilo::engines {

class PlainValue {
  public:
    enum class Kind : std::uint8_t { Whole, Text, Day, TimeOfDay };

    PlainValue() = default;  // the whole number 0
    static PlainValue whole(std::int64_t n) { return PlainValue(Kind::Whole, n); }
    // A text, never Null: an empty one is stored as the empty text.
    static PlainValue text(const QString& s) { return PlainValue(Kind::Text, 0, s); }
    // A day, stored at midnight, and a time of day, stored on the day zero of dates, as a QDate and a
    // QTime given in a QVariant are.
    static PlainValue day(QDate d) { return PlainValue(Kind::Day, d.toJulianDay()); }
    static PlainValue timeOfDay(QTime t) {
        return PlainValue(Kind::TimeOfDay, t.isValid() ? t.msecsSinceStartOfDay() : -1);
    }

    Kind kind() const { return m_kind; }
    std::int64_t number() const { return m_number; }
    const QString& textValue() const { return m_text; }
    QDate dayValue() const { return QDate::fromJulianDay(m_number); }
    QTime timeValue() const {
        return m_number < 0 ? QTime() : QTime::fromMSecsSinceStartOfDay(static_cast<int>(m_number));
    }
    // The same value as a QVariant, for an engine that binds QVariants.
    QVariant toVariant() const;
    // Lets go of the text on the calling thread (a writer thread's own, for a row it brought).
    void letGoOfText() { const QString gone = std::move(m_text); }

  private:
    PlainValue(Kind kind, std::int64_t number, const QString& text = QString())
        : m_kind(kind), m_number(number), m_text(text) {}

    Kind m_kind = Kind::Whole;
    std::int64_t m_number = 0;
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
