#include "cli/jobwait.h"

#include "app/rundriver.h"
#include "cli/console.h"
#include "platform/jobwaitlimit.h"

namespace vexilo::cli {

std::chrono::seconds waitOption(const Arguments& a) {
    constexpr qint64 kOneWeek = 7 * 24 * 3600;
    const qint64 fallback = std::chrono::seconds(platform::kJobWaitLimit).count();
    return std::chrono::seconds(a.number(QStringLiteral("--espera"), fallback, 0, kOneWeek));
}

platform::JobWaitOptions jobWait(const Arguments& a) {
    platform::JobWaitOptions wait;
    wait.limit = waitOption(a);
    wait.onWait = [](const QString& database) { writeError(app::waitingMessage(database)); };
    return wait;
}

}  // namespace vexilo::cli
