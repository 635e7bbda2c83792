#pragma once
// Elements a run passes over, counted by reason, for the message after "Proceso Finalizado." and for
// the command line. A run without any shows nothing new.

#include <QString>
#include <cstdint>

namespace vexilo::core {

struct RunReport {
    std::int64_t nonNumericCode = 0;       // text element whose code is empty or not a 32-bit whole number
    std::int64_t fullLinks = 0;            // element already holding 255 links: no link appended
    std::int64_t entitynumOutOfRange = 0;  // entity number outside 16 bits: no link appended
    std::int64_t missingRecord = 0;        // rewrite: link to a record that no longer exists
    std::int64_t recordWithoutText = 0;    // rewrite: record whose tmapa and tcomplet are both Null

    bool empty() const {
        return nonNumericCode == 0 && fullLinks == 0 && entitynumOutOfRange == 0 && missingRecord == 0 &&
               recordWithoutText == 0;
    }
    // Short Spanish summary, one line per non-zero count; empty text when there is nothing to report.
    QString text() const;
};

}  // namespace vexilo::core
