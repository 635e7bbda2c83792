#include "engines/statementcache.h"

namespace vexilo::engines {

QSqlQuery* StatementCache::find(const QString& sql) const {
    auto found = m_statements.find(sql);
    return found == m_statements.end() ? nullptr : found->second.get();
}

QSqlQuery& StatementCache::keep(const QString& sql, std::unique_ptr<QSqlQuery> query) {
    return *m_statements.insert_or_assign(sql, std::move(query)).first->second;
}

void StatementCache::finishAll() {
    for (auto& entry : m_statements) {
        entry.second->finish();
    }
}

}  // namespace vexilo::engines
