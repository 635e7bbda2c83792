#include "cli/jobwait.h"

#include "app/rundriver.h"
#include "cli/console.h"
#include "cli/stopsignals.h"
#include "engines/jobwaitlimit.h"

namespace vexilo::cli {

std::chrono::seconds waitOption(const Arguments& a) {
    constexpr qint64 kOneWeek = 7 * 24 * 3600;
    const qint64 fallback = std::chrono::seconds(engines::kJobWaitLimit).count();
    return std::chrono::seconds(a.number(QStringLiteral("--espera"), fallback, 0, kOneWeek));
}

engines::JobWaitOptions jobWait(const Arguments& a) {
    engines::JobWaitOptions wait;
    wait.limit = waitOption(a);
    wait.onWait = [](const QString& database) { writeError(app::waitingMessage(database)); };
    wait.interrupted = stopRequested;
    return wait;
}

}  // namespace vexilo::cli
