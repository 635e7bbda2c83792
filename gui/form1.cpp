#include "gui/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <utility>

#include "app/fileselection.h"
#include "core/progress.h"
#include "desktop/services.h"
#include "engines/databasename.h"
#include "gui/appicon.h"
#include "gui/captionframe.h"
#include "gui/databasefield.h"
#include "gui/fitting.h"
#include "gui/importoffer.h"
#include "gui/pathdisplay.h"
#include "gui/pushbutton.h"

namespace vexilo::gui {

namespace {

// The layout is given in twips: 1440 to the inch, so 15 to the pixel at 96 dpi.
constexpr double kTwipsPerInch = 1440.0;
// The least room kept between a control that grows to fit its caption and its neighbours or the
// window's edge: a little less than the smallest gap the layout leaves between two controls.
constexpr int kSlackTwips = 60;

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
    }
}

// A notice that names a database in quotes: the sentence on one line and the name on the next, where
// the status line can cut the name in its middle and keep its end.
QString noticeLines(const QString& text) {
    const qsizetype quote = text.indexOf(QLatin1Char('\''));
    if (quote <= 0) {
        return text;
    }
    return text.left(quote).trimmed() + QChar(13) + text.mid(quote);
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    setWindowIcon(applicationIcon());
    // A window of fixed size offers no maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    createControls();
    Form_Load();
}

Form1::~Form1() {
    qApp->removeEventFilter(this);
}

QRect Form1::twips(int left, int top, int width, int height) const {
    const double scale = logicalDpiX() / kTwipsPerInch;
    auto px = [scale](int t) { return static_cast<int>(t * scale + 0.5); };
    return QRect(px(left), px(top), px(width), px(height));
}

void Form1::createControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Asigna y Rellena las tablas correspondientes en BdD Access. "));
    setFixedSize(twips(0, 0, 14055, 6960).size());

    auto place = [this](QWidget* w, const char* name, QRect r) {
        w->setObjectName(QLatin1String(name));
        w->setGeometry(r);
        return w;
    };
    // Labels draw their text from the top of their box.
    auto label = [&](QLabel* widget, const char* name, QRect r) {
        widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return static_cast<QLabel*>(place(widget, name, r));
    };
    auto caption = [&](const char* name, const QString& text, QRect r) {
        return label(new QLabel(text, this), name, r);
    };
    // The text boxes only show what the program wrote; the names are taken from the dialogs, and the
    // database's also from its own box, where a path or a server URI may be typed. A click gives such
    // a box the focus, to select and copy what it shows; Tab passes it by.
    auto box = [&](QLineEdit* edit, const char* name, QRect r) {
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::ClickFocus);
        return static_cast<QLineEdit*>(place(edit, name, r));
    };
    auto button = [&](const char* name, const QString& text, QRect r) {
        return static_cast<QPushButton*>(place(new PushButton(text, this), name, r));
    };
    auto line = [&](QWidget* parent, const char* name, int x1, int y1, int x2, int y2) {
        auto* frame = new QFrame(parent);
        frame->setFrameShadow(QFrame::Plain);
        QRect r;
        if (y1 == y2) {
            frame->setFrameShape(QFrame::HLine);
            r = twips(std::min(x1, x2), y1, std::abs(x2 - x1), 0).adjusted(0, -1, 0, 2);
        } else {
            frame->setFrameShape(QFrame::VLine);
            r = twips(x1, std::min(y1, y2), 0, std::abs(y2 - y1)).adjusted(-1, 0, 2, 0);
        }
        place(frame, name, r);
    };

    // The rectangle of the status area goes first, so that it stays beneath the controls it frames.
    auto* shape2 = new QFrame(this);
    shape2->setFrameShape(QFrame::Box);
    shape2->setFrameShadow(QFrame::Plain);
    place(shape2, "Shape2", twips(6720, 3360, 6855, 3255));

    caption("Label7", QStringLiteral("Nombre de la BdD Particular :"), twips(480, 360, 4695, 375));
    Controls& c = m_controls;
    auto* text2 = new DatabaseField(this);
    c.text2 = text2;
    box(text2, "Text2", twips(480, 720, 7815, 375));
    text2->setReadOnly(false);
    text2->setFocusPolicy(Qt::StrongFocus);
    c.command2 = button("Command2", QStringLiteral("..."), twips(8400, 720, 495, 375));
    caption("Label6", QStringLiteral("Nombre del fichero BIN a tratar :"), twips(480, 1440, 4695, 375));
    c.text3 = box(new PathField(this), "Text3", twips(480, 1800, 7815, 375));
    c.command3 = button("Command3", QStringLiteral("..."), twips(8400, 1800, 495, 375));
    caption("Label9", QStringLiteral("Nombre del fichero BIN de salida :"), twips(480, 2520, 4695, 375));
    c.label8 = label(new PathLabel(this), "Label8", twips(480, 3000, 7815, 375));

    // The caption starts where the options inside start.
    auto* frame1 =
        new CaptionFrame(QStringLiteral("Mantener Asignaciones gráficas"), twips(0, 0, 120, 0).width(), this);
    place(frame1, "Frame1", twips(10920, 360, 2655, 2055));
    auto option = [&](const QString& text, const char* name, QRect r) {
        return static_cast<QRadioButton*>(place(new QRadioButton(text, frame1), name, r));
    };
    c.option1 = option(QStringLiteral("Sí"), "Option1", twips(120, 240, 495, 195));
    c.option2 = option(QStringLiteral("No"), "Option2", twips(120, 600, 615, 255));
    c.option2->setChecked(true);
    line(frame1, "Line1", 120, 1080, 2400, 1080);
    c.option3 = option(QStringLiteral("Modificar Texto en Bin"), "Option3", twips(120, 1200, 2415, 255));

    caption("Label3", QStringLiteral("Asigna"), twips(9480, 840, 1095, 255));
    caption("Label4", QStringLiteral("No Asigna"), twips(9480, 1800, 1095, 255));
    line(this, "Line2", 10800, 1440, 9480, 1440);
    line(this, "Line3", 9360, 360, 9360, 2640);

    c.label2 = caption("Label2", QStringLiteral("Textos Procesados :"), twips(10080, 3480, 2175, 195));
    c.text1 = box(new QLineEdit(QStringLiteral("0"), this), "Text1", twips(12600, 3480, 855, 285));
    c.label5 = label(new PathLabel(this), "Label5", twips(6960, 3960, 6615, 315));
    c.label1 = caption("Label1", QStringLiteral("Proceso Finalizado."), twips(10560, 4560, 3015, 615));
    c.text5 = box(new QLineEdit(this), "Text5", twips(9960, 5640, 1575, 250));
    c.text4 = box(new QLineEdit(this), "Text4", twips(11760, 5640, 855, 285));
    c.bar = new QProgressBar(this);
    c.bar->setTextVisible(false);
    place(c.bar, "ProgressBarCarga", twips(6840, 6240, 6015, 255));
    c.command1 = button("Command1", QStringLiteral("Procesar"), twips(480, 5640, 1455, 855));

    fitToText(*frame1);
    fitToText(*this);
    setTabOrder();
    c.command2->setFocus();  // the first thing to do is to choose the database

    connect(c.command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(c.command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(c.command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(text2, &QLineEdit::editingFinished, this, &Form1::typedDatabaseFinished);
}

void Form1::setTabOrder() {
    // The mode is one stop, at the option selected; the arrow keys move between the options.
    const Controls& c = m_controls;
    for (QRadioButton* option : {c.option1, c.option2, c.option3}) {
        auto stopIfSelected = [option](bool selected) {
            option->setFocusPolicy(selected ? Qt::StrongFocus : Qt::ClickFocus);
        };
        stopIfSelected(option->isChecked());
        connect(option, &QRadioButton::toggled, option, stopIfSelected);
    }
    // Top to bottom, left to right: the database, the drawing, the mode, then "Procesar" below them.
    QWidget* previous = nullptr;
    for (QWidget* next : std::initializer_list<QWidget*>{c.text2, c.command2, c.command3, c.option1,
                                                         c.option2, c.option3, c.command1}) {
        if (previous) {
            QWidget::setTabOrder(previous, next);
        }
        previous = next;
    }
}

void Form1::fitToText(QWidget& parent) {
    const int slack = twips(0, 0, kSlackTwips, 0).width();
    for (QObject* child : parent.children()) {
        if (auto* w = qobject_cast<QWidget*>(child); w && !w->isWindow()) {
            growToFitCaption(*w, slack);
        }
    }
}

void Form1::Form_Load() {
    m_controls.label1->setVisible(false);
    QProgressBar* bar = m_controls.bar;
    bar->setEnabled(true);
    bar->setValue(0);
    bar->setFixedHeight(twips(0, 0, 0, 255).height());
    bar->setRange(0, 100);
    bar->setVisible(true);
    guarded([this] { app::restoreServerDatabase(m_session, *this); });
}

template <typename F>
void Form1::guarded(F&& handler) {
    endWith(core::guarded(std::forward<F>(handler)));
}

// A stop or a failure shows its message and ends the program; anything else leaves the window as it is.
void Form1::endWith(const core::RunOutcome& outcome) {
    if (outcome.kind != core::RunOutcome::Kind::Stopped && outcome.kind != core::RunOutcome::Kind::Failed) {
        return;
    }
    const core::Presentation shown = present(outcome);
    auto& services = desktop::services();
    if (!shown.message.isEmpty()) {
        services.messageBox(shown.message, shown.icon, shown.detail);
    }
    services.end(shown.exitStatus);
}

void Form1::Command1_Click() {
    if (m_busy || !takeTypedDatabase()) {
        return;
    }
    app::Mode mode = app::Mode::No;
    if (m_controls.option3->isChecked()) {
        mode = app::Mode::RewriteText;
    } else if (m_controls.option1->isChecked()) {
        mode = app::Mode::Si;
    }
    core::RunOutcome outcome;
    runTask(Task::Job, [&] { outcome = app::Command1_Click(m_session, *this, mode); });
    const bool closing = std::exchange(m_closeAfterTask, false);
    if (outcome.kind == core::RunOutcome::Kind::Failed && outcome.number == core::errnum::kInterrupted) {
        // Ended because the window is closing: undone as a failure is, and nothing to tell.
        setPointer(core::MousePointer::Default);
    } else if (outcome.kind == core::RunOutcome::Kind::Stopped ||
               outcome.kind == core::RunOutcome::Kind::Failed) {
        endWith(outcome);
        return;
    }
    if (closing) {
        close();
    }
}

void Form1::runTask(Task kind, const std::function<void()>& task) {
    m_busy = true;
    m_task = kind;
    m_interruption.reset();
    qApp->installEventFilter(this);
    struct Idle {
        Form1& form;
        ~Idle() {
            form.dropPendingInput();
            qApp->removeEventFilter(&form);
            form.m_busy = false;
        }
    } idle{*this};
    m_tasks.run(task);
}

void Form1::askToInterrupt() {
    m_asking = true;
    m_interruption.beginAsking();
    const bool end = desktop::services().question(QStringLiteral("¿Interrumpir el proceso en curso?"),
                                                  desktop::Answer::No);
    m_interruption.answer(end);
    m_asking = false;
    m_closeAfterTask = end;
}

void Form1::Command2_Click() {
    if (!m_busy) {
        guarded([this] {
            const QString before = m_session.NombreBdD;
            app::Command2_Click(m_session, *this);
            offerAccessImport(before);
        });
        if (std::exchange(m_closeAfterTask, false)) {
            close();  // the user ended the import by closing the window
        }
    }
}

void Form1::offerAccessImport(const QString& before) {
    if (m_session.NombreBdD == before || engines::isServerDatabase(m_session.NombreBdD)) {
        return;
    }
    // The job works on SQLite databases: an Access file is offered for import and its copy used. The
    // import runs as a job does: off the window's thread, with the waiting notice and the close question.
    ImportRun run;
    run.offThread = [this](const std::function<void()>& task) {
        setPointer(core::MousePointer::Busy);
        const auto pointerBack = qScopeGuard([this] { setPointer(core::MousePointer::Default); });
        runTask(Task::Job, task);
    };
    run.wait.onWait = [this](const QString& database) { notice(app::waitingMessage(database)); };
    run.wait.onWaitOver = [this](const QString&) { notice(QString()); };
    run.wait.interrupted = [this] { return interrupted(); };
    const QString used = askToImportAccess(m_session.NombreBdD, run);
    m_session.NombreBdD = used.isEmpty() ? before : used;  // declined: the earlier choice stays
    setText(core::Control::Text2, m_session.NombreBdD);
}

bool Form1::takeTypedDatabase() {
    DatabaseField* box = m_controls.text2;
    const QString shown = engines::shownDatabaseName(m_session.NombreBdD);
    const QString typed = app::typedDatabaseName(box->typedText());
    if (typed.isEmpty() || typed == shown) {
        if (box->text() != shown) {
            setText(core::Control::Text2, shown);  // nothing new: the box shows the database in use again
        }
        return true;
    }
    if (m_takingDatabase) {
        return false;
    }
    m_takingDatabase = true;
    ++m_databaseTakes;
    bool taken = false;
    guarded([&] {
        const QString refusal = typedRefusal(typed);
        if (m_closeAfterTask) {
            return;  // the window closes: nothing is taken, nothing said
        }
        if (!refusal.isEmpty()) {
            // What was typed stays to be corrected, a password excepted.
            setText(core::Control::Text2, engines::shownDatabaseName(typed));
            message(refusal, core::Icon::None);
            return;
        }
        const QString before = m_session.NombreBdD;
        app::chooseTypedDatabase(m_session, *this, typed);
        offerAccessImport(before);
        taken = true;
    });
    ++m_databaseTakes;  // an edit ended by the message above is not a new one
    m_takingDatabase = false;
    if (std::exchange(m_closeAfterTask, false)) {
        close();
        return false;
    }
    return taken;
}

QString Form1::typedRefusal(const QString& typed) {
    QString refusal = app::typedDatabaseRefusal(typed);
    if (!refusal.isEmpty() || !engines::isServerDatabase(typed)) {
        return refusal;
    }
    // Trying the server takes up to a few seconds: the status line says so meanwhile.
    const QString before = m_controls.label5->text();
    notice(app::checkingMessage(typed));
    setPointer(core::MousePointer::Busy);
    runTask(Task::Check, [&] { refusal = app::serverDatabaseRefusal(typed); });
    setPointer(core::MousePointer::Default);
    showText(core::Control::Label5, before);
    return refusal;
}

void Form1::typedDatabaseFinished() {
    const unsigned takes = m_databaseTakes;
    QTimer::singleShot(0, this, [this, takes] {
        if (!m_busy && takes == m_databaseTakes) {
            takeTypedDatabase();
        }
    });
}

void Form1::Command3_Click() {
    if (!m_busy) {
        guarded([this] { app::Command3_Click(m_session, *this); });
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    if (m_busy) {
        event->ignore();
        if (m_task == Task::Check) {
            m_closeAfterTask = true;  // a check changes nothing and ends within seconds: close then
        } else if (!m_asking && !m_closeAfterTask) {
            askToInterrupt();
        }
        return;
    }
    guarded([this] { app::Form_Unload(m_session); });
    event->accept();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (m_busy && isUserInput(event->type())) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) {
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::dropPendingInput() {
    // Still busy: whatever the user did during the task reaches the filter and is dropped.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// A call may come from the job's thread or from a thread of the engine's own (a notice of a wait that
// the server's watchdog sees): either is handed over to the window's thread.
template <typename Call>
void Form1::onWindowThread(Call&& call) {
    if (QThread::currentThread() != thread()) {
        m_tasks.post(std::forward<Call>(call));
    } else {
        call();
    }
}

void Form1::setText(core::Control control, const QString& text) {
    onWindowThread([this, control, text] { showText(control, text); });
}

void Form1::setProgress(int value) {
    onWindowThread([this, value] { showProgress(value); });
}

void Form1::setFinishedVisible(bool visible) {
    onWindowThread([this, visible] { showFinished(visible); });
}

QWidget* Form1::widgetOf(core::Control control) const {
    const Controls& c = m_controls;
    switch (control) {
        case core::Control::Label2:
            return c.label2;
        case core::Control::Text1:
            return c.text1;
        case core::Control::Text4:
            return c.text4;
        case core::Control::Text5:
            return c.text5;
        case core::Control::Label5:
            return c.label5;
        case core::Control::Text2:
            return c.text2;
        case core::Control::Text3:
            return c.text3;
        case core::Control::Label8:
            return c.label8;
    }
    return nullptr;
}

// The one place the window's pointer is set, from the window and from its jobs alike.
void Form1::setPointer(core::MousePointer pointer) {
    onWindowThread([pointer] { desktop::services().setMousePointer(pointer); });
}

void Form1::message(const QString& text, core::Icon icon) {
    const auto show = [text, icon] { desktop::services().messageBox(text, icon); };
    if (m_tasks.onTaskThread()) {
        m_tasks.invoke(show);  // the job goes on once the message has been read
    } else {
        show();
    }
}

void Form1::notice(const QString& text) {
    setText(core::Control::Label5, noticeLines(text));
}

bool Form1::interrupted() {
    return m_tasks.onTaskThread() ? m_interruption.consult() : m_interruption.requested();
}

void Form1::showText(core::Control control, const QString& given) {
    // Whatever the core passes, the database box never shows a password.
    const QString text = control == core::Control::Text2 ? engines::shownDatabaseName(given) : given;
    QWidget* w = widgetOf(control);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(text);
    } else if (auto* field = qobject_cast<DatabaseField*>(w)) {
        field->setTypedText(text);
        field->setCursorPosition(0);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(text);
        edit->setCursorPosition(0);  // with the focus, a long path shows its start, as without
    }
    if (!w) {
        return;
    }
    if (qobject_cast<PathLabel*>(w) || qobject_cast<PathField*>(w)) {
        // Drawn cut when too long: the whole text is one hover away.
        QString whole = text;
        w->setToolTip(whole.replace(QChar(13), QChar(10)));
    }
    growToFitCaption(*w, twips(0, 0, kSlackTwips, 0).width());
    w->repaint();
}

void Form1::showProgress(int value) {
    m_controls.bar->setValue(value);
    m_controls.bar->repaint();
}

void Form1::showFinished(bool visible) {
    QLabel* label = m_controls.label1;
    label->setVisible(visible);
    if (visible) {
        label->repaint();
    }
}

}  // namespace vexilo::gui
