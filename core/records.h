#pragma once
// Cached catalog rows. Entries are numbered from 1; position 0 of each array is never filled or read.

#include <QString>
#include <cstdint>

namespace vexilo::core {

struct RegMsCatalog {
    QString tablename;  // trimmed of surrounding spaces
    std::int32_t entitynum = 0;
};

struct RegFeature {
    QString tablename;  // trimmed of surrounding spaces
    std::int32_t mslink = 0;
    std::int16_t ftype = 0;  // 4: a centroid
    bool no_asignar = false;
};

}  // namespace vexilo::core
