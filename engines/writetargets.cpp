#include "engines/writetargets.h"

namespace vexilo::engines {

const WriteTarget& WriteTargets::find(const QString& table, const FieldValues& given) {
    for (const Known& known : m_known) {
        if (known.matches(table, given)) {
            return known.target;
        }
    }
    Known known{table, {}, m_resolve(table, given)};
    for (const auto& pair : given) {
        known.names.push_back(pair.first);
    }
    constexpr std::size_t kKnownTargets = 32;  // a job has a handful; a caller with more just resolves again
    if (m_known.size() == kKnownTargets) {
        m_known.clear();
    }
    return m_known.emplace_back(std::move(known)).target;
}

bool WriteTargets::Known::matches(const QString& t, const FieldValues& given) const {
    if (given.size() != names.size() || t != table) {
        return false;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (given[i].first != names[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace vexilo::engines
