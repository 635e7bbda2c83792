#pragma once
// What a pass shows and tells while it runs, and what it counts. The job owns it, so that what a pass
// counted before a stop is still there after it.

#include <cstdint>

#include "core/progress.h"
#include "core/runreport.h"
#include "core/textobserver.h"

namespace vexilo::passes {

struct PassView {
    core::Progress& progress;                // the display, and the progress shown on it
    core::RunReport& report;                 // elements passed over, by reason
    core::TextObserver* observer = nullptr;  // told about every carried text element; none in the window
    std::int32_t TextosProcesados = 0;       // texts the pass handled; from 0 at every pass

    core::Display& display() { return *progress.display; }
};

}  // namespace vexilo::passes
