#pragma once
// Form1: the one window. It only wires the controls to the core: file choice, the run driver and the
// remembered folders live in app/, the desktop's services behind platform::services().

#include <QWidget>

#include "app/rundriver.h"
#include "core/display.h"
#include "core/runstate.h"

class QCloseEvent;
class QRect;

namespace vexilo::gui {

class Form1 : public QWidget, private core::Display {
    Q_OBJECT

  public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    core::RunState& state() { return m_f; }
    bool busy() const { return m_busy; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    // Grows each control of `parent` whose caption does not fit its layout box into the free room.
    void fitToText(QWidget& parent);
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    // The database box: a name typed or pasted into it is taken when its editing ends (Return, or the
    // focus leaving it), and before a run. Returns false, after saying why, while the box holds a name
    // that cannot be the database; then no run starts.
    bool takeTypedDatabase();
    // The end of an edit is handled once the event that ended it is over: a press on "Procesar" that
    // took the focus takes the name itself first, and the later call then finds nothing new.
    void typedDatabaseFinished();
    // After the database changed from `before`: an Access file is offered for import and its copy used.
    void offerAccessImport(const QString& before);
    // Runs a handler of the core; a failure is shown with its number and description and ends the program.
    template <typename F>
    void guarded(F&& handler);
    void endWith(const core::RunOutcome& outcome);
    // Input that arrived while the window was busy is thrown away, never handled afterwards.
    void dropPendingInput();
    QRect twips(int left, int top, int width, int height) const;

    // Display
    void setText(core::Control control, const QString& text) override;
    void setProgress(int value) override;
    void setFinishedVisible(bool visible) override;
    void setPointer(platform::MousePointer pointer) override;
    void message(const QString& text, platform::Icon icon) override;

    core::RunState m_f;
    bool m_busy = false;
    bool m_takingDatabase = false;  // a typed name is being taken (its messages move the focus)
    unsigned m_databaseTakes = 0;   // counts the takes, so that a deferred one sees it came late
};

}  // namespace vexilo::gui
