#pragma once
// The stored text of a date, "YYYY-MM-DD HH:MM:SS", as both engines keep dates. Internal to the engine
// layer, apart from the format, which the importer writes dates in so that a job reads them alike.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace vexilo::engines {

inline const QString kStoredDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
// The day that a time alone is stored on.
inline const QDate kDayOfTimes(1899, 12, 30);

// Built by hand and the last two kept: the run log writes two dates per row, the same moments again and
// again (they change once a second), and going through QDateTime would ask the system for the local
// time zone each time.
QString storedDateText(const QDate& day, const QTime& time);

// The stored text of a date value given as a QDateTime, QDate or QTime; a null QString for any other.
QString storedDateTextOf(const QVariant& value);

// A date read from its stored text, also in the forms other programs write ('T' between day and time,
// fractions of a second, a day alone at midnight); an invalid QDateTime for a text that is no date.
QDateTime parseStoredDate(const QString& text);

}  // namespace vexilo::engines
