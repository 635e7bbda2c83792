#include "core/clock.h"

#include <QTime>

namespace vexilo::core {

double SystemClock::secondsSinceMidnight() {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

QDateTime SystemClock::now() {
    return QDateTime::currentDateTime();
}

qint64 SystemClock::epochSecond() {
    return QDateTime::currentSecsSinceEpoch();
}

}  // namespace vexilo::core
