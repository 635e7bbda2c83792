#pragma once
// What the job shows, on a terminal: messages on standard error at once (they never wait for an answer)
// and the progress of each job as one line that names its drawing,
// "hoja.bin: 0...10...20...30...40...50...60...70...80...90...100 - done.", begun only when the pass
// reports its first progress, so that a job that fails before it prints no progress at all.
// The counters and labels of the window are not printed: the command line prints its own summary.

#include <QString>

#include "core/display.h"

namespace vexilo::cli {

class ConsoleDisplay : public core::Display {
  public:
    explicit ConsoleDisplay(bool quiet) : m_quiet(quiet) {}

    void beginJob(const QString& drawing);
    // Completes the line for a job that ended well (the whole input was read); ends it otherwise.
    void endJob(bool complete);

    void setText(core::Control, const QString&) override {}
    void setProgress(int value) override;
    void setFinishedVisible(bool visible) override { m_finished = visible; }
    void setPointer(core::MousePointer) override {}
    void message(const QString& text, core::Icon icon) override;
    // Printed at once, on a line of its own; the empty text that takes a notice away prints nothing.
    void notice(const QString& text) override;
    // A stop signal has arrived (stopsignals.h): the job ends as the window's close question ends it.
    bool interrupted() override;

  private:
    void mark(int until);
    void endLine();

    bool m_quiet;
    bool m_inJob = false;
    bool m_lineOpen = false;
    QString m_drawing;        // named at the start of every progress line
    int m_next = 0;           // next tenth to print
    bool m_finished = false;  // the job reached "Proceso Finalizado."
};

}  // namespace vexilo::cli
