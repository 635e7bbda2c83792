#pragma once
// The window services on the desktop: the Qt file dialog and message box, the override cursor, and an
// end of the process that runs nothing more.

#include "platform/services.h"

namespace vexilo::gui {

class WindowServices : public platform::Services {
  public:
    platform::OpenFileResult showOpen(const platform::OpenFileRequest& request) override;
    void messageBox(const QString& text, platform::Icon icon) override;
    bool question(const QString& text) override;
    void setMousePointer(platform::MousePointer pointer) override;
    void end(int code) override;
    platform::SettingsStore& settings() override { return m_settings; }
    platform::Clock& clock() override { return m_clock; }

  private:
    platform::QSettingsStore m_settings;
    platform::SystemClock m_clock;
    bool m_busy = false;
};

// "Description|patterns|Description|patterns" as Qt's file dialog wants it ("Description (patterns);;...").
QString qtFilter(const QString& filter, int filterIndex, QString* selected);

}  // namespace vexilo::gui
