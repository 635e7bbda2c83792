#pragma once
// Form1: the one window. It only wires the controls to the core: file choice, the run driver and the
// remembered folders live in app/, the desktop's services behind desktop::services().
//
// A job, and the check of a server typed into the database box, run on a thread of their own
// (TaskThread) while the window goes on answering the desktop: it repaints, and a close request asks
// whether to end the job. No control acts meanwhile: the user's input to the window is dropped. What
// the job shows is handed back to the window's thread; the window's session is read by the job alone
// until it has ended.

#include <QWidget>

#include "app/rundriver.h"
#include "app/session.h"
#include "core/display.h"
#include "gui/interruption.h"
#include "gui/taskthread.h"

class QCloseEvent;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QRect;

namespace vexilo::gui {

class DatabaseField;

class Form1 : public QWidget, private core::Display {
    Q_OBJECT

  public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // What the window keeps from one job to the next; between two tasks only.
    app::Session& state() { return m_session; }
    // Where the window's jobs show themselves.
    core::Display& display() { return *this; }
    bool busy() const { return m_busy; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Task { Job, Check };

    void createControls();
    // The order Tab follows: the layout's reading order, without the boxes that only show something.
    void setTabOrder();
    // Grows each control of `parent` whose caption does not fit its layout box into the free room.
    void fitToText(QWidget& parent);
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    // The database box: a name typed or pasted into it is taken when its editing ends (Return, or the
    // focus leaving it), and before a run. Returns false, after saying why, while the box holds a name
    // that cannot be the database; then no run starts. A server is tried at once (off the window's
    // thread, with a short limit), so that one that cannot be used is refused here and not at the run.
    bool takeTypedDatabase();
    // The end of an edit is handled once the event that ended it is over: a press on "Procesar" that
    // took the focus takes the name itself first, and the later call then finds nothing new.
    void typedDatabaseFinished();
    // Why the typed name cannot be the database (empty when it can); a server is tried as a task.
    QString typedRefusal(const QString& typed);
    // After the database changed from `before`: an Access file is offered for import and its copy used.
    void offerAccessImport(const QString& before);
    // Runs `task` off the window's thread; returns once it has ended. Meanwhile the window is busy.
    void runTask(Task kind, const std::function<void()>& task);
    // A close request during a job: asks whether to end it (the job waits for the answer).
    void askToInterrupt();
    // Runs a handler of the core; a failure is shown with its number and description and ends the program.
    template <typename F>
    void guarded(F&& handler);
    void endWith(const core::RunOutcome& outcome);
    // Input that arrived while the window was busy is thrown away, never handled afterwards.
    void dropPendingInput();
    QRect twips(int left, int top, int width, int height) const;

    // The control that shows `control`.
    QWidget* widgetOf(core::Control control) const;

    // Display: called by the job on its own thread, done on the window's.
    void setText(core::Control control, const QString& text) override;
    void setProgress(int value) override;
    void setFinishedVisible(bool visible) override;
    void setPointer(core::MousePointer pointer) override;
    void message(const QString& text, core::Icon icon) override;
    void notice(const QString& text) override;
    bool interrupted() override;
    // `call` on the window's thread: at once there, handed over from a task's.
    template <typename Call>
    void onWindowThread(Call&& call);

    // What the display calls do, on the window's thread.
    void showText(core::Control control, const QString& text);
    void showProgress(int value);
    void showFinished(bool visible);

    app::Session m_session;
    // The controls the window reads and writes after creating them.
    struct Controls {
        DatabaseField* text2 = nullptr;
        QLineEdit* text3 = nullptr;
        QLabel* label8 = nullptr;
        QRadioButton* option1 = nullptr;
        QRadioButton* option2 = nullptr;
        QRadioButton* option3 = nullptr;
        QLabel* label2 = nullptr;
        QLineEdit* text1 = nullptr;
        QLabel* label5 = nullptr;
        QLabel* label1 = nullptr;
        QLineEdit* text5 = nullptr;
        QLineEdit* text4 = nullptr;
        QProgressBar* bar = nullptr;
        QPushButton* command1 = nullptr;
        QPushButton* command2 = nullptr;
        QPushButton* command3 = nullptr;
    } m_controls;
    TaskThread m_tasks;
    Interruption m_interruption;
    bool m_busy = false;
    Task m_task = Task::Job;
    bool m_asking = false;          // the question whether to end the job is open
    bool m_closeAfterTask = false;  // the window closes once the task has ended
    bool m_takingDatabase = false;  // a typed name is being taken (its messages move the focus)
    unsigned m_databaseTakes = 0;   // counts the takes, so that a deferred one sees it came late
};

}  // namespace vexilo::gui
