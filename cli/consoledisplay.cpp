#include "cli/consoledisplay.h"

#include "cli/console.h"
#include "cli/stopsignals.h"

namespace vexilo::cli {

void ConsoleDisplay::beginJob(const QString& drawing) {
    m_inJob = true;
    m_finished = false;
    m_next = 0;
    m_drawing = drawing;
}

void ConsoleDisplay::endJob(bool complete) {
    // "done" is said only of a job that finished: a pass may reach 100 and the job still fail after it.
    if (complete && m_inJob) {
        mark(100);
        if (!m_quiet) {
            errors() << " - done.\n";
            errors().flush();
            m_lineOpen = false;
        }
    }
    endLine();
    m_inJob = false;
}

void ConsoleDisplay::setProgress(int value) {
    if (m_inJob) {
        mark(value);
    }
}

void ConsoleDisplay::mark(int until) {
    if (m_quiet) {
        return;
    }
    bool typed = false;
    while (m_next <= until && m_next <= 100) {
        // Every line of marks names its drawing: the first, and one that goes on after a message.
        if (!m_lineOpen) {
            errors() << m_drawing << ": " << (m_next == 0 ? "" : "...");
            m_lineOpen = true;
        } else {
            errors() << "...";
        }
        errors() << m_next;
        typed = true;
        m_next += 10;
    }
    if (typed) {
        errors().flush();
    }
}

void ConsoleDisplay::endLine() {
    if (m_lineOpen) {
        errors() << '\n';
        errors().flush();
        m_lineOpen = false;
    }
}

void ConsoleDisplay::message(const QString& text, core::Icon) {
    // The only message after "Proceso Finalizado." is the run report, which the summary prints on the
    // standard output with the other results: it is not repeated here.
    if (m_finished) {
        return;
    }
    endLine();
    writeError(text);
}

void ConsoleDisplay::notice(const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    endLine();
    writeError(text);
}

bool ConsoleDisplay::interrupted() {
    return stopRequested();
}

}  // namespace vexilo::cli
