#include "core/progress.h"

#include <cmath>

namespace vexilo::core {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Nearest whole number, a tie going to the even neighbour (the default rounding mode of the FPU).
double roundHalfEven(double v) {
    return std::nearbyint(v);
}

// Seconds since the job started. A job that runs past midnight sees the time of day start again from 0;
// taking the difference modulo one day keeps the elapsed time, and so the estimate, from going negative.
std::int64_t elapsedSeconds(const Progress& f) {
    static SystemClock system;
    const std::int64_t difference = std::int64_t{secondsOfDay(f.clock ? *f.clock : system)} - f.HoraInicio;
    return ((difference % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay;
}

double percentOf(std::int64_t pos, std::int64_t lo) {
    return static_cast<double>(pos) / static_cast<double>(lo) * 100.0;
}

// The stretch from `pos` on where the rounded percentage stays that of `shown`, which `pos` itself
// rounds to. The rounded percentage never falls as the position grows (each step of its reckoning keeps
// the order of its operands), so the first position where it moves is found by halving.
QuietStretch quietFrom(std::int64_t pos, std::int64_t lo, double shown) {
    const double rounded = roundHalfEven(shown);
    std::int64_t same = pos;
    std::int64_t moved = lo + 1;  // past the input: as if it moved there
    while (moved - same > 1) {
        const std::int64_t mid = same + (moved - same) / 2;
        if (roundHalfEven(percentOf(mid, lo)) == rounded) {
            same = mid;
        } else {
            moved = mid;
        }
    }
    return QuietStretch{lo, pos, moved, shown};
}

}  // namespace

std::int32_t secondsOfDay(Clock& clock) {
    return static_cast<std::int32_t>(roundHalfEven(clock.secondsSinceMidnight()));
}

void BarraDeProgreso(Progress& f, double valorp) {
    f.display->setProgress(static_cast<int>(roundHalfEven(valorp)));
}

void porcentaje(Progress& f, std::int64_t lo, std::int64_t ireg) {
    // Callers only report after an element has been read; anything else would divide by zero.
    if (ireg < 1 || lo < 1) {
        return;
    }
    const double elapsed = static_cast<double>(elapsedSeconds(f));
    const double remaining =
        roundHalfEven(static_cast<double>(lo - ireg) * elapsed / static_cast<double>(ireg));
    f.display->setText(Control::Text4, QString::number(static_cast<std::int64_t>(remaining)));

    const auto done =
        static_cast<std::int64_t>(std::floor(static_cast<double>(ireg) / static_cast<double>(lo) * 100.0));
    if (done != 0) {
        f.display->setText(Control::Text5, QStringLiteral("   %1 %").arg(done));
    }
}

void reportProgress(Progress& f, std::int64_t lo, std::int64_t pos) {
    if (lo < 1) {
        return;  // an empty input has nothing to report
    }
    if (pos > lo) {
        pos = lo;
    }
    const QuietStretch& q = f.quiet;
    if (lo == q.length && pos >= q.from && pos < q.until && f.PorcentajeAnterior == q.shown) {
        return;
    }
    const double v = percentOf(pos, lo);
    if (roundHalfEven(v) != roundHalfEven(f.PorcentajeAnterior)) {
        BarraDeProgreso(f, v);
        f.PorcentajeAnterior = v;
        porcentaje(f, lo, pos);
    }
    f.quiet = quietFrom(pos, lo, f.PorcentajeAnterior);
}

}  // namespace vexilo::core
