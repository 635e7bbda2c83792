#include "catalog/catalogindex.h"

#include "catalog/conversion.h"
#include "core/normalisation.h"

namespace vexilo::catalog {

namespace {
constexpr std::int16_t kCentroide = 4;
}

MsCatalogIndex::MsCatalogIndex(const std::vector<core::RegMsCatalog>& tablas, std::int32_t count)
    : m_count(count) {
    m_byName.reserve(count);
    m_byEntitynum.reserve(count);
    for (std::int32_t i = 1; i <= count; ++i) {
        const core::RegMsCatalog& e = tablas[static_cast<std::size_t>(i)];
        const QString nombre = core::trimSpaces(e.tablename);
        if (e.entitynum != 0 && !m_byName.contains(nombre)) {
            m_byName.insert(nombre, e.entitynum);
        }
        if (!e.tablename.isEmpty() && !m_byEntitynum.contains(e.entitynum)) {
            m_byEntitynum.insert(e.entitynum, e.tablename);
        }
    }
}

FeatureIndex::FeatureIndex(const std::vector<core::RegFeature>& elementos, std::int32_t count)
    : m_count(count) {
    m_byCode.reserve(count);
    for (std::int32_t i = 1; i <= count; ++i) {
        const core::RegFeature& e = elementos[static_cast<std::size_t>(i)];
        if (e.ftype == kCentroide || e.no_asignar) {
            continue;
        }
        m_hasCandidate = true;
        const QString nombre = core::trimSpaces(e.tablename);
        if (!nombre.isEmpty() && !m_byCode.contains(e.mslink)) {
            m_byCode.insert(e.mslink, nombre);
        }
    }
}

}  // namespace vexilo::catalog
