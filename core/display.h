#pragma once
// What the core needs from whatever shows the job: the window, the command line or a test.
// The window repaints each control as soon as it is set; the command line prints what it wants of it.

#include <QString>

#include "core/errors.h"

namespace vexilo::core {

// The screen's mouse pointer: the busy pointer while a job runs, the default one otherwise.
enum class MousePointer { Default = 0, Busy = 11 };

// The controls that the job and the file choice write.
enum class Control {
    Label2,  // caption of the counter
    Text1,   // the counter
    Text4,   // remaining seconds
    Text5,   // percentage
    Label5,  // completion message
    Text2,   // path of the chosen database
    Text3,   // path of the input drawing file
    Label8,  // path of the output drawing file
};

class Display {
  public:
    virtual ~Display() = default;
    virtual void setText(Control control, const QString& text) = 0;
    virtual void setProgress(int value) = 0;            // the progress bar, 0 to 100
    virtual void setFinishedVisible(bool visible) = 0;  // Label1, "Proceso Finalizado."
    virtual void setPointer(MousePointer pointer) = 0;
    // A message that lets the job go on once the user has read it (OK button only).
    virtual void message(const QString& text, Icon icon = Icon::None) = 0;
    // A passing notice that needs no answer (the job waits for another process's job); an empty text
    // takes it away. The window shows it in its status line, Label5; the command line prints it.
    virtual void notice(const QString& text) { setText(Control::Label5, text); }
    // Whether the face asks the job to end (core::Interrupted). The job asks it between two
    // elements and between two tries of its wait for the database; the face may hold the job there
    // while it asks the user. The one call a window answers on the job's own thread.
    virtual bool interrupted() { return false; }
};

}  // namespace vexilo::core
