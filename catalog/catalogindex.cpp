#include "catalog/catalogindex.h"

#include <QSet>

#include "catalog/conversion.h"
#include "core/normalisation.h"

namespace vexilo::catalog {

namespace {
constexpr std::int16_t kCentroid = 4;
}

MsCatalogIndex::MsCatalogIndex(const std::vector<core::RegMsCatalog>& tables, std::int32_t count)
    : m_count(count) {
    m_byName.reserve(count);
    m_byEntitynum.reserve(count);
    for (std::int32_t i = 1; i <= count; ++i) {
        const core::RegMsCatalog& e = tables[static_cast<std::size_t>(i)];
        const QString name = core::trimSpaces(e.tablename);
        if (e.entitynum != 0 && !m_byName.contains(name)) {
            m_byName.insert(name, e.entitynum);
        }
        if (!e.tablename.isEmpty() && !m_byEntitynum.contains(e.entitynum)) {
            m_byEntitynum.insert(e.entitynum, e.tablename);
        }
    }
}

std::int32_t MsCatalogIndex::entitynum(const QString& name) const {
    if (const std::int32_t* known = m_byIdentity.find(name)) {
        return *known;
    }
    const std::int32_t n = m_byName.value(name, 0);
    m_byIdentity.remember(name, n);
    return n;
}

FeatureIndex::FeatureIndex(const std::vector<core::RegFeature>& elements, std::int32_t count)
    : m_count(count) {
    m_byCode.reserve(count);
    QSet<QString> names;  // one text per name, so a name is always the same text to those who ask
    for (std::int32_t i = 1; i <= count; ++i) {
        const core::RegFeature& e = elements[static_cast<std::size_t>(i)];
        if (e.ftype == kCentroid || e.no_asignar) {
            if (!m_passedOver.contains(e.mslink)) {
                m_passedOver.insert(
                    e.mslink, e.ftype == kCentroid ? core::PassedOver::Centroid : core::PassedOver::Excluded);
            }
            continue;
        }
        m_hasCandidate = true;
        const QString name = core::trimSpaces(e.tablename);
        if (!name.isEmpty() && !m_byCode.contains(e.mslink)) {
            m_byCode.insert(e.mslink, *names.insert(name));
        }
    }
}

}  // namespace vexilo::catalog
