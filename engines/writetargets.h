#pragma once
// The stored table and the column indexes of a row write given as (name, value) pairs, names matched
// without regard to case. A job writes the same few lists of names hundreds of thousands of times: each
// is resolved once and then found again by comparing the names as given. Internal to the engine layer.

#include <QString>
#include <functional>
#include <vector>

#include "engines/dao.h"

namespace vexilo::engines {

struct WriteTarget {
    QString storedTable;
    std::vector<int> columns;
};

class WriteTargets {
  public:
    // How a list of names is resolved the first time it is met.
    using Resolve = std::function<WriteTarget(const QString& table, const FieldValues& given)>;
    explicit WriteTargets(Resolve resolve) : m_resolve(std::move(resolve)) {}

    const WriteTarget& find(const QString& table, const FieldValues& given);
    void forget() { m_known.clear(); }

  private:
    struct Known {
        QString table;  // as asked
        std::vector<QString> names;
        WriteTarget target;
        bool matches(const QString& t, const FieldValues& given) const;
    };
    Resolve m_resolve;
    std::vector<Known> m_known;
};

}  // namespace vexilo::engines
