#pragma once
// The window services on the desktop: the Qt file dialog and message box, the override cursor, and an
// end of the process that runs nothing more. Dialogs and message boxes belong to the program's window,
// so the desktop centres them on it wherever it has been moved.

#include <QPointer>
#include <QWidget>

#include "desktop/services.h"

namespace vexilo::gui {

class WindowServices : public desktop::Services {
  public:
    // The window the dialogs and message boxes belong to (not owned; it may go away first).
    void setWindow(QWidget* window) { m_window = window; }

    desktop::OpenFileResult showOpen(const desktop::OpenFileRequest& request) override;
    void messageBox(const QString& text, core::Icon icon, const QString& detail) override;
    bool question(const QString& text, desktop::Answer byDefault) override;
    void setMousePointer(core::MousePointer pointer) override;
    void end(int code) override;
    desktop::SettingsStore& settings() override { return m_settings; }
    core::Clock& clock() override { return m_clock; }

  private:
    // A box open on another one belongs to that one; any other to the window, or to whatever window is
    // active when none was given.
    QWidget* dialogParent() const;

    QPointer<QWidget> m_window;
    desktop::QSettingsStore m_settings;
    core::SystemClock m_clock;
    bool m_busy = false;
};

// "Description|patterns|Description|patterns" as Qt's file dialog wants it ("Description (patterns);;...").
QString qtFilter(const QString& filter, int filterIndex, QString* selected);

}  // namespace vexilo::gui
