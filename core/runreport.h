#pragma once
// Elements a job passes over, counted by reason (textoutcome.h), for the message after "Proceso
// Finalizado." and for the command line. A job without any that the message counts shows nothing new.

#include <QString>
#include <array>
#include <cstdint>

#include "core/textoutcome.h"

namespace vexilo::core {

struct RunReport {
    std::array<std::int64_t, kPassedOverCount> passedOver{};  // by reason; None is never counted

    void count(PassedOver reason) {
        if (reason != PassedOver::None) {
            ++passedOver[static_cast<std::size_t>(reason)];
        }
    }
    std::int64_t operator[](PassedOver reason) const { return passedOver[static_cast<std::size_t>(reason)]; }

    // True when none of the reasons that the message after a job counts has been met: those of the
    // elements a technician has to mend at the source (a text that simply carries no attribute, having no
    // feature, an excluded one or a centroid's, is not among them).
    bool empty() const;
    // Short Spanish summary, one line per non-zero count of those reasons; empty text when there is
    // nothing to report.
    QString text() const;
};

}  // namespace vexilo::core
