#include "core/outcome.h"

#include "core/exitstatus.h"

namespace vexilo::core {

RunOutcome currentFailure() {
    RunOutcome outcome;
    try {
        throw;
    } catch (const core::Stop& stop) {
        outcome.kind = RunOutcome::Kind::Stopped;
        outcome.message = stop.message();
        outcome.icon = stop.icon();
        outcome.detail = stop.detail();
    } catch (const core::RunError& error) {
        outcome.kind = RunOutcome::Kind::Failed;
        outcome.number = error.number();
        outcome.description = error.description();
    } catch (const std::exception& error) {
        outcome.kind = RunOutcome::Kind::Failed;
        outcome.number = core::errnum::kInternal;
        outcome.description = QString::fromLocal8Bit(error.what());
    } catch (...) {
        outcome.kind = RunOutcome::Kind::Failed;
        outcome.number = core::errnum::kInternal;
        outcome.description = QStringLiteral("Error interno");
    }
    return outcome;
}

Presentation present(const RunOutcome& outcome) {
    switch (outcome.kind) {
        case RunOutcome::Kind::Stopped:
            return {outcome.message, outcome.icon, exitstatus::kEnded, outcome.detail};
        case RunOutcome::Kind::Failed:
            return {errorText(outcome.number, outcome.description), core::Icon::None, exitstatus::kEnded, {}};
        case RunOutcome::Kind::Ignored:
        case RunOutcome::Kind::Finished:
            break;
    }
    return {{}, core::Icon::None, exitstatus::kDone, {}};
}

QString errorText(int number, const QString& description) {
    return QStringLiteral("Error %1").arg(number) + QChar(13) + description;
}

}  // namespace vexilo::core
