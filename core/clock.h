#pragma once
// The time of day and the current date and time, as the job reads them: HoraInicio, the remaining time,
// the moment of each run log row. Tests set their own, for instance to a job that runs past midnight.

#include <QDateTime>

namespace vexilo::core {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual double secondsSinceMidnight() = 0;  // with the fraction of a second
    virtual QDateTime now() = 0;
    // Whole seconds since the epoch, UTC: changes exactly when now() may change its second. Cheap where
    // now() is not (the local time asks the time-zone rules), so a caller that needs the local time
    // many times a second can ask now() again only when this changes.
    virtual qint64 epochSecond() { return now().toSecsSinceEpoch(); }
};

// The system's own clock.
class SystemClock : public Clock {
  public:
    double secondsSinceMidnight() override;
    QDateTime now() override;
    qint64 epochSecond() override;
};

}  // namespace vexilo::core
