#pragma once
// A Display that shows nothing, for benchmarks: the job's cost without a window.

#include "core/display.h"

namespace vexilo::bench {

class QuietDisplay : public core::Display {
  public:
    void setText(core::Control, const QString&) override {}
    void setProgress(int) override {}
    void setFinishedVisible(bool) override {}
    void setPointer(core::MousePointer) override {}
    void message(const QString&, core::Icon) override {}
};

}  // namespace vexilo::bench
