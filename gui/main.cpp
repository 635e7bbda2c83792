// The window: opens Form1 with the desktop's services. "--help" and "--version" print and end first.
#include <QApplication>
#include <cstdio>

#include "gui/appicon.h"
#include "gui/commandline.h"
#include "gui/filedialog.h"
#include "gui/form1.h"
#include "gui/windowservices.h"
#include "platform/qtmessages.h"
#include "platform/translations.h"

namespace {

int answer(const vexilo::gui::CommandLineAnswer& a) {
    std::fputs(a.text.toLocal8Bit().constData(), a.onErrors ? stderr : stdout);
    return a.exitStatus;
}

}  // namespace

int main(int argc, char** argv) {
    vexilo::platform::keepQtMessagesQuiet();
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    if (const auto printed = vexilo::gui::printedAnswer(arguments)) {
        return answer(*printed);  // no display needed
    }
    QApplication application(argc, argv);
    if (const auto refused = vexilo::gui::leftoverAnswer(QCoreApplication::arguments().mid(1))) {
        return answer(*refused);
    }
    vexilo::platform::installSpanishTranslations(application);
    vexilo::gui::useSpanishLocale();
    QApplication::setWindowIcon(vexilo::gui::applicationIcon());
    vexilo::gui::WindowServices services;
    vexilo::platform::ScopedServices installed(services);
    vexilo::gui::Form1 window;
    services.setWindow(&window);
    window.show();
    return QApplication::exec();
}
