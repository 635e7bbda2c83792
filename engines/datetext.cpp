#include "engines/datetext.h"

#include <QDateTime>
#include <QVariant>
#include <cstdio>

namespace vexilo::engines {

namespace {

QString formatDate(const QDate& day, const QTime& time) {
    if (!day.isValid() || !time.isValid() || day.year() < 1 || day.year() > 9999) {
        return QDateTime(day, time).toString(kStoredDateFormat);
    }
    char text[20];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", day.year(), day.month(), day.day(),
                  time.hour(), time.minute(), time.second());
    return QString::fromLatin1(text, 19);
}

// A stored date names a day and a time of day in no time zone. It is given in local time, as callers
// compare it with dates of their own, except a time that the local zone skips (02:30 on the last Sunday
// of March in Madrid): in local time that would be no date, or another one, so it is given in UTC, which
// skips nothing. Either way its day and time are the ones stored.
QDateTime dayAndTime(const QDate& day, const QTime& time) {
    const QDateTime local(day, time);
    if (local.isValid() && local.date() == day && local.time() == time) {
        return local;
    }
    return QDateTime(day, time, Qt::UTC);
}

}  // namespace

QString storedDateText(const QDate& day, const QTime& time) {
    struct Known {
        QDate day;
        QTime time;
        QString text;
    };
    thread_local Known known[2];
    thread_local int next = 0;
    for (const Known& k : known) {
        if (!k.text.isNull() && k.day == day && k.time == time) {
            return k.text;
        }
    }
    Known& slot = known[next];
    next = 1 - next;
    slot = Known{day, time, formatDate(day, time)};
    return slot.text;
}

QString storedDateTextOf(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QDateTime: {
            const QDateTime moment = value.toDateTime();
            return storedDateText(moment.date(), moment.time());
        }
        case QMetaType::QDate:
            return storedDateText(value.toDate(), QTime(0, 0));
        case QMetaType::QTime:
            return storedDateText(kDayOfTimes, value.toTime());
        default:
            return QString();
    }
}

QDateTime parseStoredDate(const QString& text) {
    const QDate day = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    if (day.isValid() && text.size() == 10) {
        return dayAndTime(day, QTime(0, 0));
    }
    const QChar between = text.size() > 10 ? text[10] : QChar();
    if (day.isValid() && (between == QLatin1Char(' ') || between == QLatin1Char('T'))) {
        const QTime time = QTime::fromString(text.mid(11), Qt::ISODateWithMs);
        if (time.isValid()) {
            return dayAndTime(day, time);
        }
    }
    // Forms with an offset from UTC name their moment themselves.
    QString iso = text;
    return QDateTime::fromString(iso.replace(QLatin1Char(' '), QLatin1Char('T')), Qt::ISODateWithMs);
}

}  // namespace vexilo::engines
