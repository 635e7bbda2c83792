#pragma once
// How a job, or any step a face runs, ended, and what the faces show for it. Stops and errors travel
// as exceptions up to the face's call; this is the one place that turns them into a message, an icon
// and an exit status, for the window and the command line alike.

#include <QString>
#include <exception>

#include "core/errors.h"

namespace vexilo::core {

struct RunOutcome {
    enum class Kind {
        Ignored,   // a file name is missing: nothing was opened, nothing shown
        Finished,  // the step ran to its end
        Stopped,   // a condition the job tests for: its message (when not empty) with its icon, then the end
        Failed,    // any other failure: its number and description, then the end
    };
    Kind kind = Kind::Ignored;
    QString message;  // Stopped
    core::Icon icon = core::Icon::None;
    int number = 0;  // Failed
    QString description;
    QString detail;  // Stopped: where and why, when the stop knows (a damaged drawing)
};

// The outcome of the exception being handled; call it inside a catch block.
RunOutcome currentFailure();

// Runs `step`: Finished when it returns, else the outcome of what it threw.
template <typename Step>
RunOutcome guarded(Step&& step) {
    try {
        step();
        return RunOutcome{RunOutcome::Kind::Finished, {}, core::Icon::None, 0, {}, {}};
    } catch (...) {
        return currentFailure();
    }
}

// What a face shows for an outcome and how the program ends after it. An empty message shows nothing
// (a stop whose messages were already shown, or a step that finished).
struct Presentation {
    QString message;
    core::Icon icon = core::Icon::None;
    int exitStatus = 0;
    QString detail;  // where and why, for a face that can offer it beside the message
};
Presentation present(const RunOutcome& outcome);

// How a failure is shown: "Error", its number, a carriage return, its description.
QString errorText(int number, const QString& description);

}  // namespace vexilo::core
