#pragma once
// Progress display of a pass: the bar, the percentage and the remaining time.

#include <cstdint>

#include "core/clock.h"
#include "core/display.h"

namespace vexilo::core {

// The time of day in whole seconds since midnight (nearest second, a tie to the even one): HoraInicio.
std::int32_t secondsOfDay(Clock& clock);

// Positions [from, until) of an input of `length` bytes at which the rounded percentage stays that of
// `shown`: a pass reports after every element, and a report there displays nothing.
struct QuietStretch {
    std::int64_t length = 0;
    std::int64_t from = 0;
    std::int64_t until = 0;
    double shown = 0.0;
};

// What the progress display of one job needs: where it shows, when the job started, the last percentage
// shown, and the clock the remaining time is reckoned by (the system's when none is given). The last
// percentage outlives the job: the window hands it from one job to the next.
struct Progress {
    Display* display = nullptr;
    std::int32_t HoraInicio = 0;  // time of day in whole seconds at which the job started
    double PorcentajeAnterior = 0.0;
    Clock* clock = nullptr;
    QuietStretch quiet{};  // where the next reports would display nothing
};

void BarraDeProgreso(Progress& f, double valorp);
void porcentaje(Progress& f, std::int64_t lo, std::int64_t ireg);
// The calling rule shared by both passes: after each element, with the input length lo and the 1-based
// position pos of the next unread byte, display when the rounded percentage changed.
void reportProgress(Progress& f, std::int64_t lo, std::int64_t pos);

}  // namespace vexilo::core
