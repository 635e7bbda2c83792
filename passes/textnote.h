#pragma once
#include "core/runstate.h"

namespace vexilo::passes {

// What both passes do with a carried text element once it is treated: a passed-over element is counted
// by its reason, and the run state's observer, when there is one, is told about the element.
inline void noteText(core::RunState& f, const core::TextEntry& entry) {
    f.report.count(entry.passedOver);
    if (f.textObserver != nullptr) {
        f.textObserver->text(entry);
    }
}

}  // namespace vexilo::passes
