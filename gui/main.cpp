// The window: opens Form1 with the desktop's services. "--help" and "--version" print and end first.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "core/exitstatus.h"
#include "desktop/qtmessages.h"
#include "desktop/translations.h"
#include "gui/appicon.h"
#include "gui/commandline.h"
#include "gui/filedialog.h"
#include "gui/form1.h"
#include "gui/windowservices.h"

namespace {

int answer(const vexilo::gui::CommandLineAnswer& a) {
    std::fputs(a.text.toLocal8Bit().constData(), a.onErrors ? stderr : stdout);
    return a.exitStatus;
}

// The handler in place before the toolkit starts: keeps its messages quiet unless VEXILO_QT_MESSAGES=1.
QtMessageHandler g_beforeStart = nullptr;

// While the toolkit starts, a fatal message is its failure to open the display (DISPLAY names a server
// that does not answer, a forwarded display that is gone): the reason in Spanish and status 1, not an
// abort. Qt's own words only when VEXILO_QT_MESSAGES=1 asks for them.
void displayFailure(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        if (g_beforeStart) {
            g_beforeStart(type, context, message);
        }
        return;
    }
    if (qEnvironmentVariableIntValue("VEXILO_QT_MESSAGES") == 1) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
    const QString text = vexilo::gui::noDisplayText(qEnvironmentVariable("DISPLAY"));
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::_Exit(vexilo::core::exitstatus::kEnded);
}

}  // namespace

int main(int argc, char** argv) {
    vexilo::desktop::keepQtMessagesQuiet();
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    if (const auto printed = vexilo::gui::printedAnswer(arguments)) {
        return answer(*printed);  // no display needed
    }
    if (const auto refused =
            vexilo::gui::noDisplayAnswer(arguments, vexilo::gui::DisplayEnvironment::current())) {
        return answer(*refused);
    }
    g_beforeStart = qInstallMessageHandler(displayFailure);
    QApplication application(argc, argv);
    qInstallMessageHandler(g_beforeStart);
    if (const auto refused = vexilo::gui::leftoverAnswer(QCoreApplication::arguments().mid(1))) {
        return answer(*refused);
    }
    vexilo::desktop::installSpanishTranslations(application);
    vexilo::gui::useSpanishLocale();
    QApplication::setWindowIcon(vexilo::gui::applicationIcon());
    vexilo::gui::WindowServices services;
    vexilo::desktop::ScopedServices installed(services);
    vexilo::gui::Form1 window;
    services.setWindow(&window);
    window.show();
    return QApplication::exec();
}
