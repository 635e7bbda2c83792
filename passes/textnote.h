#pragma once
#include "passes/passview.h"

namespace vexilo::passes {

// What both passes do with a carried text element once it is treated: a passed-over element is counted
// by its reason, and the observer, when there is one, is told about the element.
inline void noteText(PassView& view, const core::TextEntry& entry) {
    view.report.count(entry.passedOver);
    if (view.observer != nullptr) {
        view.observer->text(entry);
    }
}

}  // namespace vexilo::passes
