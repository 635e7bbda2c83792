#include "platform/datetext.h"

#include <QDateTime>
#include <QVariant>
#include <cstdio>

namespace vexilo::platform {

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
    QDateTime moment = QDateTime::fromString(text, kStoredDateFormat);
    if (!moment.isValid()) {
        QString iso = text;
        moment = QDateTime::fromString(iso.replace(QLatin1Char(' '), QLatin1Char('T')), Qt::ISODateWithMs);
    }
    if (!moment.isValid()) {
        const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        if (day.isValid()) {
            moment = QDateTime(day, QTime(0, 0));
        }
    }
    return moment;
}

}  // namespace vexilo::platform
