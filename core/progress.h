#pragma once
// Progress display of a pass: the bar, the percentage and the remaining time.

#include <cstdint>

#include "core/runstate.h"

namespace vexilo::core {

// The time of day in whole seconds since midnight (nearest second, a tie to the even one): HoraInicio.
std::int32_t secondsOfDay();

void BarraDeProgreso(RunState& f, double valorp);
void porcentaje(RunState& f, std::int64_t lo, std::int64_t ireg);
// The calling rule shared by both passes: after each element, with the input length lo and the 1-based
// position pos of the next unread byte, display when the rounded percentage changed.
void reportProgress(RunState& f, std::int64_t lo, std::int64_t pos);

}  // namespace vexilo::core
