#pragma once
// The prepared row writes (inserts and updates) of one connection, one per table and list of columns,
// kept for the connection's life: the passes write hundreds of thousands of rows of the same shape, and
// building and hashing their SQL text each time cost more than the write itself. Internal to the engine
// layer.

#include <QSqlQuery>
#include <QString>
#include <map>
#include <memory>
#include <vector>

#include "engines/nativewrites.h"
#include "engines/storedform.h"

namespace vexilo::engines {

// Append: an insert whose new identity nobody reads (Database::PrepareAppend).
enum class WriteKind { Insert, Append, Update };

// A write runs through the engine's own statement when it has one, else through a QtSql query.
struct PreparedWrite {
    QSqlQuery* query = nullptr;  // kept by the connection's statement cache
    std::unique_ptr<NativeStatement> native;
    StoredForm form;  // of the values it binds, in the order of its marks
};

class PreparedWrites {
  public:
    PreparedWrite* find(WriteKind kind, const QString& storedTable, const std::vector<int>& columns) {
        auto found = m_writes.find(Shape{kind, storedTable, columns});
        return found == m_writes.end() ? nullptr : &found->second;
    }
    PreparedWrite& keep(WriteKind kind, const QString& storedTable, const std::vector<int>& columns,
                        PreparedWrite write) {
        return m_writes.insert_or_assign(Shape{kind, storedTable, columns}, std::move(write)).first->second;
    }
    void clear() { m_writes.clear(); }

  private:
    struct Shape {
        WriteKind kind;
        QString table;
        std::vector<int> columns;
        bool operator<(const Shape& o) const {
            if (kind != o.kind) {
                return kind < o.kind;
            }
            if (columns != o.columns) {
                return columns < o.columns;
            }
            return table < o.table;
        }
    };
    std::map<Shape, PreparedWrite> m_writes;
};

}  // namespace vexilo::engines
