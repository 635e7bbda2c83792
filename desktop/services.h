#pragma once
// The desktop services seam: what the program asks of the desktop besides the database engine. The
// open-file dialog, message boxes, the mouse pointer, ending the process, the per-user settings store,
// the clock, and deleting or testing files. The window installs its own implementation; tests install
// one that answers from queues and records what it was asked; a headless default serves the command line.

#include <QDateTime>
#include <QString>
#include <memory>

#include "core/clock.h"
#include "core/display.h"
#include "core/errors.h"

namespace vexilo::desktop {

// The open-file dialog, set up before it is shown. filter lists "description|patterns" pairs joined by
// '|' ("BdD Access (*.mdb)|*.mdb|..."), patterns separated by ';'; filterIndex counts from 1.
struct OpenFileRequest {
    QString initDir;
    QString filter;
    int filterIndex = 1;
    QString title;
};

// What the dialog gives back: the full path and the bare name as the dialog reports them. A cancel gives
// both empty; cancelling is never an error.
struct OpenFileResult {
    QString fileName;
    QString fileTitle;
};

// The button of a question that Return presses.
enum class Answer { Yes, No };

// Per-user text values addressed by application, section and key. An absent key reads as the empty text.
// A store that cannot be written is a core::RunError.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual QString read(const QString& application, const QString& section, const QString& key) = 0;
    virtual void write(const QString& application, const QString& section, const QString& key,
                       const QString& value) = 0;
};

// The settings store over QSettings. Without a file it uses the user's own store (organisation and
// application both the application name); with one it uses that INI file, which is what tests do.
class QSettingsStore : public SettingsStore {
  public:
    QSettingsStore() = default;
    explicit QSettingsStore(QString iniFile) : m_iniFile(std::move(iniFile)) {}
    QString read(const QString& application, const QString& section, const QString& key) override;
    void write(const QString& application, const QString& section, const QString& key,
               const QString& value) override;

  private:
    QString m_iniFile;
};

class Services {
  public:
    virtual ~Services() = default;

    // Shows the open-file dialog and waits for the user.
    virtual OpenFileResult showOpen(const OpenFileRequest& request) = 0;
    // A message box with the OK button only. A line break inside the text is a single carriage return.
    // `detail`, when not empty, is offered beside the message (where and why), which stays as it is.
    virtual void messageBox(const QString& text, core::Icon icon, const QString& detail = QString()) = 0;
    // A message box with the buttons Yes and No, `byDefault` the one that Return presses; true for Yes.
    // Without a window nobody can answer, so the default implementation says No.
    virtual bool question(const QString& text, Answer byDefault = Answer::Yes);
    virtual void setMousePointer(core::MousePointer pointer) = 0;
    // Ends the process at once with this exit code: nothing else runs, no close handler. Test
    // implementations record the code and return, so callers return right after calling it.
    virtual void end(int code) = 0;

    virtual SettingsStore& settings() = 0;
    virtual core::Clock& clock() = 0;

    // True for an existing ordinary file; hidden files (a name starting with '.') are not seen, as the
    // existence test of the desktop does not see hidden or system files.
    virtual bool fileExists(const QString& path);
    // Deletes a file; a deletion that fails is a core::RunError with number and description.
    virtual void deleteFile(const QString& path);
};

// Without a window: the dialog always answers as cancelled, messages go to the standard error, the
// pointer is not shown, terminar() ends the process with std::exit.
class HeadlessServices : public Services {
  public:
    OpenFileResult showOpen(const OpenFileRequest& request) override;
    void messageBox(const QString& text, core::Icon icon, const QString& detail) override;
    void setMousePointer(core::MousePointer) override {}
    void end(int code) override;
    SettingsStore& settings() override { return m_settings; }
    core::Clock& clock() override { return m_clock; }

  private:
    QSettingsStore m_settings;
    core::SystemClock m_clock;
};

// The services in use. Until a face installs its own, a HeadlessServices answers.
Services& services();
// Installs s (not owned; null restores the headless default) and returns the services it replaces.
Services* installServices(Services* s);

// Installs services for the lifetime of a scope, then puts the previous ones back.
class ScopedServices {
  public:
    explicit ScopedServices(Services& s) : m_previous(installServices(&s)) {}
    ~ScopedServices() { installServices(m_previous); }
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

  private:
    Services* m_previous;
};

}  // namespace vexilo::desktop
