#include "cli/jobwait.h"

#include "app/rundriver.h"
#include "cli/console.h"

namespace vexilo::cli {

QString waitUsage(const QString& what) {
    return QStringLiteral(
               "  --espera N     si un proceso está trabajando con %1, espera a que termine como mucho N\n"
               "                 segundos (600); pasado ese tiempo no se hace nada y el estado de salida es "
               "1\n")
        .arg(what);
}

platform::JobWaitOptions jobWait(const Arguments& a) {
    constexpr qint64 kOneWeek = 7 * 24 * 3600;
    platform::JobWaitOptions wait;
    const qint64 fallback = std::chrono::duration_cast<std::chrono::seconds>(wait.limit).count();
    wait.limit = std::chrono::seconds(a.number(QStringLiteral("--espera"), fallback, 0, kOneWeek));
    wait.onWait = [](const QString& database) { writeError(app::waitingMessage(database)); };
    return wait;
}

}  // namespace vexilo::cli
