#include "desktop/qtmessages.h"

#include <QtGlobal>

namespace vexilo::desktop {

namespace {

QtMessageHandler g_qtOwn = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        g_qtOwn(type, context, message);
    }
}

}  // namespace

void keepQtMessagesQuiet() {
    if (qEnvironmentVariableIntValue("VEXILO_QT_MESSAGES") == 1) {
        return;
    }
    g_qtOwn = qInstallMessageHandler(quietHandler);
}

}  // namespace vexilo::desktop
