// The window: opens Form1 with the desktop's services.
#include <QApplication>

#include "gui/form1.h"
#include "gui/windowservices.h"
#include "platform/qtmessages.h"
#include "platform/translations.h"

int main(int argc, char** argv) {
    vexilo::platform::keepQtMessagesQuiet();
    QApplication application(argc, argv);
    vexilo::platform::installSpanishTranslations(application);
    vexilo::gui::WindowServices services;
    vexilo::platform::ScopedServices installed(services);
    vexilo::gui::Form1 window;
    window.show();
    return QApplication::exec();
}
