#include "core/runreport.h"

#include <QStringList>

namespace vexilo::core {

namespace {

// The reasons in the order the message lists them.
constexpr std::array kShownInOrder{PassedOver::NonNumericCode, PassedOver::FullLinks,
                                   PassedOver::EntitynumOutOfRange, PassedOver::MissingRecord,
                                   PassedOver::RecordWithoutText};

}  // namespace

bool RunReport::empty() const {
    for (PassedOver reason : kShownInOrder) {
        if ((*this)[reason] != 0) {
            return false;
        }
    }
    return true;
}

QString RunReport::text() const {
    QStringList lines;
    for (PassedOver reason : kShownInOrder) {
        if ((*this)[reason] > 0) {
            lines << QStringLiteral("%1 : %2").arg(passedOverText(reason)).arg((*this)[reason]);
        }
    }
    if (lines.isEmpty()) {
        return {};
    }
    return QStringLiteral("Elementos no tratados:\r") + lines.join(QChar(13));
}

}  // namespace vexilo::core
