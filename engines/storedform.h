#pragma once
// The form a row write's values take in the database: each value checked against its field (a text
// longer than the field's declared size, a value the engine would not keep as given) and converted as
// the dialect stores it. One per prepared write, made with it and kept as long as it is; it reads
// nothing of the connection, so the engine's writer thread may convert a row it holds. Internal to the
// engine layer.

#include <QString>
#include <QVariant>
#include <span>
#include <vector>

#include "engines/dao.h"
#include "engines/plainrow.h"

namespace vexilo::engines {

class SqlDialect;

class StoredForm {
  public:
    StoredForm() = default;
    // `fields` in the order of the write's marks.
    StoredForm(const SqlDialect& dialect, QString storedTable, std::vector<FieldDef> fields)
        : m_dialect(&dialect), m_table(std::move(storedTable)), m_fields(std::move(fields)) {}

    // Converts the first values, one per field, in place; values after them (an update's row) stay as
    // they are. A refused value is an EngineError naming the field and the table.
    void convert(std::span<QVariant> values) const;
    // Checks plain values as convert checks the same values in QVariants; an engine that binds them
    // itself gives each its stored form as it binds it.
    void check(std::span<const PlainValue> values) const;

  private:
    void refuseAsDialect(const FieldDef& f, const QVariant& value) const;

    const SqlDialect* m_dialect = nullptr;
    QString m_table;
    std::vector<FieldDef> m_fields;
};

}  // namespace vexilo::engines
