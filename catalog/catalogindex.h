#pragma once
// Indexes over the cached catalog entries, built once per load. Each answers exactly what a scan from
// entry 1 in load order answers, output guard included: the scan keeps going while its output still
// holds the not-found value, so an entry that matches with an empty table name (or an entity number 0)
// is passed over and a later matching entry wins.

#include <QHash>
#include <QString>
#include <cstdint>
#include <vector>

#include "core/records.h"
#include "core/textidentity.h"
#include "core/textoutcome.h"

namespace vexilo::catalog {

class MsCatalogIndex {
  public:
    // Entries 1 to count of the array (entry 0 unused).
    MsCatalogIndex(const std::vector<core::RegMsCatalog>& tables, std::int32_t count);
    std::int32_t count() const { return m_count; }
    // Entity number of the first entry whose name equals nombre exactly (case-sensitive) and whose
    // entity number is not 0; 0 when there is none.
    std::int32_t entitynum(const QString& name) const;
    // Name of the first entry with this entity number and a non-empty name; "" when there is none.
    QString tableName(std::int32_t entitynum) const { return m_byEntitynum.value(entitynum); }

  private:
    std::int32_t m_count;
    QHash<QString, std::int32_t> m_byName;
    mutable core::ByTextIdentity<std::int32_t> m_byIdentity;  // the names asked before, as asked
    QHash<std::int32_t, QString> m_byEntitynum;
};

class FeatureIndex {
  public:
    // Entries 1 to count of the array (entry 0 unused), with their no_asignar flags as they are now.
    FeatureIndex(const std::vector<core::RegFeature>& elements, std::int32_t count);
    std::int32_t count() const { return m_count; }
    // Whether any entry is neither a centroid nor excluded: only then does a lookup read the code.
    bool hasCandidate() const { return m_hasCandidate; }
    // Trimmed table name of the first candidate entry with this code and a non-empty name; "" if none.
    QString tableName(std::int32_t mslink) const { return m_byCode.value(mslink); }
    // Why a code gives no table name: Centroid or Excluded when the first entry with this code that is
    // passed over is a centroid or excluded, NoFeature otherwise. Asked only after tableName missed.
    core::PassedOver missReason(std::int32_t mslink) const {
        return m_passedOver.value(mslink, core::PassedOver::NoFeature);
    }

  private:
    std::int32_t m_count;
    bool m_hasCandidate = false;
    QHash<std::int32_t, QString> m_byCode;  // equal names share one text (see ByTextIdentity)
    QHash<std::int32_t, core::PassedOver> m_passedOver;
};

}  // namespace vexilo::catalog
